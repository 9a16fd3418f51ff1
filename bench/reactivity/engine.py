"""The relation engine of the Vyn library, ported to CPython for the
reactivity benchmarks: the same flat record table indexed by reactor, the
same queue of (reactor, reaction, target, done) entries drained newest
first, and the same pending test that ends cycles. Reactions are callables;
a target is None or the name of a field of the reactor the relation watches.
"""
import traceback


class Reactivity:
    def __init__(self):
        self.relations = []
        self.queue = []
        self.index = {}
        self.eat_events = True
        self.debug = False

    def add_relation(self, obj, word, reaction, target):
        rel = self.relations
        offsets = self.index.setdefault(id(obj), [])
        for off in offsets:
            if rel[off + 1] == word and rel[off + 2] is reaction and rel[off + 3] is target:
                return None
        offsets.append(len(rel))
        rel += (obj, word, reaction, target)
        return rel

    def eval(self, code, safe=False):
        if not safe:
            return code()
        try:
            return code()
        except Exception as err:
            print(err)
            print("*** Near: ", repr(code)[:80])
            return None

    def eval_reaction(self, reactor, reaction, target, mark=False):
        if mark:
            self.queue += (reactor, reaction, target, True)
        if isinstance(target, tuple):
            obj, name = target
            setattr(obj, name, self.eval(reaction, True))
        else:
            self.eval(reaction, True)

    def pending(self, reactor, reaction):
        q = self.queue
        for i in range(0, len(q), 4):
            if q[i] is reactor and q[i + 1] is reaction:
                return True
        return False

    def check(self, reactor, field=None):
        rel = self.relations
        if not rel:
            return
        offsets = self.index.get(id(reactor))
        if not offsets:
            return
        q = self.queue
        for off in offsets:
            if field is not None and rel[off + 1] != field:
                continue
            reaction = rel[off + 2]
            if q and self.pending(reactor, reaction):
                continue
            if not q:
                try:
                    self.eval_reaction(reactor, reaction, rel[off + 3], True)
                    while True:
                        n = len(q) - 4
                        if q[n + 3]:
                            del q[n:]
                        else:
                            size = len(q)
                            self.eval_reaction(q[n], q[n + 1], q[n + 2])
                            if size == len(q):
                                del q[n:]
                            else:
                                q[n + 3] = True
                                continue
                        if n == 0:
                            break
                finally:
                    q.clear()
            elif not (self.eat_events and self.pending(reactor, reaction)):
                q += (reactor, reaction, rel[off + 3], False)


system = Reactivity()


class Reactor:
    """Every field assignment runs the change handler."""

    def __setattr__(self, word, new):
        old = self.__dict__.get(word)
        object.__setattr__(self, word, new)
        self.on_change(word, old, new)

    def on_change(self, word, old, new):
        if system.debug:
            print("-- on-change event --\n\tword :", word, "\n\told  :", type(old), "\n\tnew  :", type(new))
        system.check(self, word)


def reactor(**fields):
    r = Reactor()
    r.__dict__.update(fields)
    return r


def react(reaction, sources):
    """sources: the (object, field) pairs the reaction reads."""
    found = False
    for obj, field in sources:
        if isinstance(obj, Reactor):
            system.add_relation(obj, field, reaction, None)
            found = True
    if found:
        system.eval(reaction)
        return reaction
    return None

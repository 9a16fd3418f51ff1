"""The peer of tracing.vyn: the same loop of calls untraced, under
sys.settrace with an empty function (which then sees the calls only), and
under cProfile. The run is chosen by the first argument: plain, empty or
profile. Prints the seconds the run took, start-up left out."""
import cProfile
import sys
import time

STEPS = 1000000


def f(x):
    return x + 1


def loop():
    x = 0
    for _ in range(STEPS):
        x = f(x)


def empty(frame, event, arg):
    return None


def every(frame, event, arg):
    return every


def traced(tracer=empty):
    sys.settrace(tracer)
    try:
        loop()
    finally:
        sys.settrace(None)


def profiled():
    cProfile.Profile().runcall(loop)


RUNS = {"plain": loop, "empty": traced, "every": lambda: traced(every), "profile": profiled}
t0 = time.perf_counter()
RUNS[sys.argv[1] if len(sys.argv) > 1 else "plain"]()
print(time.perf_counter() - t0)

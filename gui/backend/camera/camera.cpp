#include "gui/backend/camera/camera.h"

#include <fcntl.h>
#include <glib.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>

#include "gui/backend/backend.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/image_record.h"
#include "runtime/io/simple_io.h"
#include "runtime/symbol.h"

namespace vyn::camera {

namespace {

enum State : uint32_t { IDLE = 0, ARMED = 1, READY = 2, COPYING = 3 };

constexpr uint32_t FAKE_WIDTH = 64, FAKE_HEIGHT = 48;

bool fake() {
	const char* f = std::getenv("VYN_FAKE_CAMERA");
	return f && *f;
}

void say(const char* text) {
	std::string line = std::string(text) + "\n";
	simple_io::write_stdout(reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

// A V4L2 device that captures video and streams.
struct Device {
	std::string path, name;
};

std::vector<Device> v4l2_devices() {
	std::vector<Device> out;
	for (int i = 0; i < 64; i++) {
		std::string path = "/dev/video" + std::to_string(i);
		int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
		if (fd < 0) continue;
		v4l2_capability cap{};
		if (ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
			uint32_t caps = cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
			if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING))
				out.push_back({path, reinterpret_cast<const char*>(cap.card)});
		}
		::close(fd);
	}
	return out;
}

uint8_t clip(int v) { return uint8_t(std::clamp(v, 0, 255)); }

// One YUYV pair of pixels into two opaque A R G B words.
void yuyv_pair(const uint8_t* p, uint32_t* out) {
	int u = p[1] - 128, v = p[3] - 128;
	for (int k = 0; k < 2; k++) {
		int c = (p[k * 2] - 16) * 298;
		uint8_t r = clip((c + 409 * v + 128) >> 8), g = clip((c - 100 * u - 208 * v + 128) >> 8),
				b = clip((c + 516 * u + 128) >> 8);
		out[k] = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
	}
}

struct Capture {
	int32_t slot = -1;
	uint32_t width = 0, height = 0;
	double ratio = 0;  // this camera's video width / height
	std::vector<uint32_t> buffer;
	std::atomic<uint32_t> state{IDLE};

	// The preview: three frames, one the capture thread writes, one the
	// reader holds, one the latest handed over; `fresh` names the latter
	// (bit 4: not taken yet).
	std::vector<uint32_t> shots[3];
	uint32_t back = 0, front = 1;
	std::atomic<uint32_t> fresh{2};
	std::atomic<bool> redraw_pending{false};

	std::thread thread;
	std::atomic<bool> running{false};
	int fd = -1;
	struct Mapped {
		void* at;
		size_t length;
	};
	std::vector<Mapped> maps;

	~Capture() { stop(); }

	void size_to(uint32_t w, uint32_t h) {
		width = w;
		height = h;
		ratio = h ? double(w) / double(h) : 0;
		buffer.assign(size_t(w) * h, 0);
		for (auto& s : shots) s.assign(size_t(w) * h, 0);
	}

	// Capture thread: one whole frame of width x height pixels.
	void deliver(const uint32_t* pixels) {
		size_t count = size_t(width) * height;
		std::memcpy(shots[back].data(), pixels, count * 4);
		back = fresh.exchange(back | 0x10, std::memory_order_acq_rel) & 0xF;
		uint32_t armed = ARMED;
		bool wanted = state.compare_exchange_strong(armed, COPYING, std::memory_order_acq_rel);
		if (wanted) {
			std::memcpy(buffer.data(), pixels, count * 4);
			state.store(READY, std::memory_order_seq_cst);
		}
		if (wanted || !redraw_pending.exchange(true)) g_idle_add(on_frame, GINT_TO_POINTER(slot + 1));
	}

	bool start_fake() {
		size_to(FAKE_WIDTH, FAKE_HEIGHT);
		running = true;
		thread = std::thread([this] {
			std::vector<uint32_t> frame(size_t(FAKE_WIDTH) * FAKE_HEIGHT);
			for (uint32_t n = 0; running; n++) {
				for (uint32_t y = 0; y < FAKE_HEIGHT; y++)
					for (uint32_t x = 0; x < FAKE_WIDTH; x++)
						frame[y * FAKE_WIDTH + x] = 0xFF000000u | (x * 4) << 16 | (y * 4) << 8 | (n & 0xFF);
				deliver(frame.data());
				std::this_thread::sleep_for(std::chrono::milliseconds(10));
			}
		});
		return true;
	}

	bool start_v4l2(const Device& d) {
		fd = ::open(d.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
		if (fd < 0) return false;
		v4l2_format fmt{};
		fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
		if (ioctl(fd, VIDIOC_G_FMT, &fmt) < 0) return false;
		fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
		fmt.fmt.pix.field = V4L2_FIELD_NONE;
		if (ioctl(fd, VIDIOC_S_FMT, &fmt) < 0 || fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV ||
			fmt.fmt.pix.width == 0 || fmt.fmt.pix.height == 0 || fmt.fmt.pix.width > 0xFFFF ||
			fmt.fmt.pix.height > 0xFFFF) {
			say("This device cannot preview!");
			return false;
		}
		uint32_t stride = std::max(fmt.fmt.pix.bytesperline, fmt.fmt.pix.width * 2);
		size_to(fmt.fmt.pix.width, fmt.fmt.pix.height);
		v4l2_requestbuffers req{};
		req.count = 4;
		req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
		req.memory = V4L2_MEMORY_MMAP;
		if (ioctl(fd, VIDIOC_REQBUFS, &req) < 0 || req.count == 0) return false;
		for (uint32_t i = 0; i < req.count; i++) {
			v4l2_buffer buf{};
			buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
			buf.memory = V4L2_MEMORY_MMAP;
			buf.index = i;
			if (ioctl(fd, VIDIOC_QUERYBUF, &buf) < 0) return false;
			void* at = mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buf.m.offset);
			if (at == MAP_FAILED) return false;
			maps.push_back({at, buf.length});
			if (ioctl(fd, VIDIOC_QBUF, &buf) < 0) return false;
		}
		v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
		if (ioctl(fd, VIDIOC_STREAMON, &type) < 0) {
			say("This graph cannot preview");
			return false;
		}
		running = true;
		thread = std::thread([this, stride] {
			std::vector<uint32_t> frame(size_t(width) * height);
			while (running) {
				pollfd p{fd, POLLIN, 0};
				if (poll(&p, 1, 100) <= 0) continue;
				v4l2_buffer buf{};
				buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
				buf.memory = V4L2_MEMORY_MMAP;
				if (ioctl(fd, VIDIOC_DQBUF, &buf) < 0) continue;
				if (buf.index < maps.size() && buf.bytesused >= size_t(stride) * (height - 1) + width * 2) {
					auto* bytes = static_cast<const uint8_t*>(maps[buf.index].at);
					for (uint32_t y = 0; y < height; y++)
						for (uint32_t x = 0; x + 1 < width; x += 2)
							yuyv_pair(bytes + size_t(y) * stride + x * 2, &frame[size_t(y) * width + x]);
					deliver(frame.data());
				}
				ioctl(fd, VIDIOC_QBUF, &buf);
			}
		});
		return true;
	}

	void stop() {
		running = false;
		if (thread.joinable()) thread.join();
		if (fd >= 0) {
			v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
			ioctl(fd, VIDIOC_STREAMOFF, &type);
			for (const Mapped& m : maps) munmap(m.at, m.length);
			maps.clear();
			::close(fd);
			fd = -1;
		}
		state.store(IDLE);
	}

	static gboolean on_frame(gpointer slot);
};

std::unordered_map<int32_t, std::unique_ptr<Capture>> captures;

Capture* capture_of(const View& v) {
	auto it = captures.find(v.slot);
	return it == captures.end() ? nullptr : it->second.get();
}

// The frame in the buffer as an image! in the face's `image`.
void take_frame(View& v, Capture& c) {
	Node record = image_record::from_memory(c.width, c.height, 0, c.buffer.data());
	Cell img;
	image::init_image(&img, record);
	if (Cell* facet = views::facet(&v.face, views::IMAGE)) *facet = img;
}

gboolean Capture::on_frame(gpointer slot) {
	View* v = views::of_slot(GPOINTER_TO_INT(slot) - 1);
	Capture* c = v ? capture_of(*v) : nullptr;
	if (!c) return G_SOURCE_REMOVE;
	c->redraw_pending = false;
	if (c->state.load() == READY) {
		Cell* image = views::facet(&v->face, views::IMAGE);
		if (image && cell::is(image, T_NONE)) take_frame(*v, *c);
		c->state.store(IDLE, std::memory_order_seq_cst);
	}
	// The preview shows the new frame.
	backend::current().view_changed(*v, 1u << views::IMAGE);
	return G_SOURCE_REMOVE;
}

// The face's `ratio` takes the video's aspect ratio when it holds a float!.
void write_ratio(View& v, const Capture& c) {
	static const uint32_t ratio_sym = symbol::make("ratio");
	if (!cell::is(&v.face, T_OBJECT)) return;
	int32_t i = context::find_word(v.face.data1, ratio_sym, true);
	if (i < 0) return;
	Cell* ratio = context::values(v.face.data1) + i;
	if (cell::is(ratio, T_FLOAT)) cell::make_float(ratio, c.ratio);
}

void open_device(View& v, int32_t index) {
	std::vector<std::string> names = devices();
	if (index < 0 || size_t(index) >= names.size()) {
		Cell n;
		cell::make_integer(&n, index + 1);
		errors::fire(errors::id::access_cannot_open, &n);
	}
	captures.erase(v.slot);
	auto c = std::make_unique<Capture>();
	c->slot = v.slot;
	bool ok = fake() ? c->start_fake() : c->start_v4l2(v4l2_devices()[size_t(index)]);
	if (!ok) return;
	write_ratio(v, *c);
	captures.emplace(v.slot, std::move(c));
}

}  // namespace

std::vector<std::string> devices() {
	std::vector<std::string> names;
	if (fake()) {
		names.push_back("Fake camera");
		return names;
	}
	for (const Device& d : v4l2_devices()) names.push_back(d.name);
	if (names.empty()) say("No video capture hardware");
	return names;
}

void made(View& v) {
	std::vector<std::string> names = devices();
	Cell list;
	block::make_at(&list, int32_t(names.size()));
	Cell* held = stack::push(&list);
	for (const std::string& n : names)
		string::load_in(reinterpret_cast<const uint8_t*>(n.data()), uint32_t(n.size()), held);
	if (Cell* data = views::facet(&v.face, views::DATA)) *data = *held;
	stack::pop(1);
	Cell* selected = views::facet(&v.face, views::SELECTED);
	if (selected && cell::is(selected, T_INTEGER) && !names.empty()) select(v);
}

void select(View& v) {
	Cell* selected = views::facet(&v.face, views::SELECTED);
	if (!selected || !cell::is(selected, T_INTEGER)) {
		captures.erase(v.slot);
		return;
	}
	open_device(v, cell::get_integer(selected) - 1);
}

void grab(View& v) {
	Cell* image = views::facet(&v.face, views::IMAGE);
	if (!image || !cell::is(image, T_NONE)) return;
	Capture* c = capture_of(v);
	if (!c) return;
	c->state.store(ARMED, std::memory_order_seq_cst);
	for (double waited = 0; waited <= 3.0 && c->state.load() != READY; waited += 0.01)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	uint32_t armed = ARMED;
	if (!c->state.compare_exchange_strong(armed, IDLE))
		while (c->state.load() == COPYING) std::this_thread::sleep_for(std::chrono::milliseconds(1));
	if (c->state.load() == READY) take_frame(v, *c);
	c->state.store(IDLE, std::memory_order_seq_cst);
}

void destroyed(View& v) { captures.erase(v.slot); }

bool latest(const View& v, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height) {
	Capture* c = capture_of(v);
	if (!c || !c->width) return false;
	if (c->fresh.load() & 0x10) c->front = c->fresh.exchange(c->front, std::memory_order_acq_rel) & 0xF;
	*pixels = c->shots[c->front];
	*width = c->width;
	*height = c->height;
	return true;
}

}  // namespace vyn::camera

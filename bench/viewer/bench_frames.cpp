// Frames per second of Scene::draw for each render method, against a bare
// loop that draws the same geometry from buffer objects with glDrawElements
// and nothing else, in the same run. Also counts heap allocations during the
// timed frames (there should be none) and the time from reading a file to its
// first frame against the reading alone.
//
// Needs a display: xvfb-run -a bench_frames MESH.ply [MESH.ply ...]
// Meshes: dragon_small refined with make_big_mesh (1 level ~191k triangles,
// 2 levels ~765k).
#include <GL/glew.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/messages.h"
#include "io/ply_reader.h"
#include "render/gl_driver.h"
#include "render/render_arrays.h"
#include "render/scene.h"

// Last: Xlib's macros (None, Status, Bool) would clash with the names above.
#include "app/tools/viewer/offscreen_gl.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Every plain allocation is counted; the pairing with free is the point.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace Tavrin {
namespace {

constexpr int kWidth = 1024, kHeight = 600;
constexpr double kRoundSeconds = 1.0;
constexpr int kRounds = 5;
const float kBackground[4] = {0.9f, 0.9f, 0.9f, 1.0f};

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Processor time of the whole process (the driver's threads included): on a
// shared machine it moves far less with the load of others than the clock.
double cpu_now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct RoundTime {
  double wall_ms, cpu_ms;
};

// Milliseconds per frame of one variant in one round: frames for about
// kRoundSeconds (at least 2) after the previous variant's.
template <class Frame>
RoundTime time_round(Frame&& frame, long& allocations) {
  long before = g_allocations.load();
  double start = now(), cpu_start = cpu_now();
  int frames = 0;
  while (frames < 2 || now() - start < kRoundSeconds) {
    frame();
    glFinish();
    ++frames;
  }
  allocations += g_allocations.load() - before;
  return {(now() - start) * 1000.0 / frames, (cpu_now() - cpu_start) * 1000.0 / frames};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The same vertices, normals and triangles in buffer objects of our own.
struct BareMesh {
  GLuint buffers[3] = {0, 0, 0};
  GLsizei count = 0;
  explicit BareMesh(const Object& o) {
    glGenBuffers(3, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, o.nodes.size() * sizeof(Vec3), o.nodes.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ARRAY_BUFFER, o.normals.size() * sizeof(Vec3), o.normals.data(),
                 GL_STATIC_DRAW);
    std::vector<uint32_t> idx;
    for (const TriangleRecord& t : o.triangles)
      idx.insert(idx.end(), {uint32_t(t.a), uint32_t(t.b), uint32_t(t.c)});
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[2]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, idx.size() * 4, idx.data(), GL_STATIC_DRAW);
    count = static_cast<GLsizei>(idx.size());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  ~BareMesh() { glDeleteBuffers(3, buffers); }
  void draw() const {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[1]);
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[2]);
    glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
  }
};

void bench_mesh(const std::string& path) {
  // One scene per render method, so that the variants can take turns.
  Scene scenes[3];
  double load_s = 0;
  for (int m : {BUFFER_OBJECT, VERTEX_ARRAY, DISPLAY_LIST}) {
    double t0 = now();
    std::unique_ptr<Object> object = load_ply(path);
    if (m == BUFFER_OBJECT) load_s = now() - t0;
    if (!object) {
      std::printf("%s: could not be read\n", path.c_str());
      return;
    }
    object->render_method = m;
    scenes[m].set_original(std::move(object));
  }
  const int32_t triangles = scenes[0].original->num_triangles();
  const View view;
  const float aspect = float(kWidth) / kHeight;
  auto frame_of = [&](int m) {
    return [&scenes, &view, aspect, m] {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      scenes[m].draw(view, aspect, kBackground);
    };
  };

  // Reading to the first frame, against reading alone.
  double first[3];
  for (int m : {BUFFER_OBJECT, VERTEX_ARRAY, DISPLAY_LIST}) {
    double t1 = now();
    frame_of(m)();
    glFinish();
    first[m] = now() - t1;
  }
  std::printf(
      "%s: %d triangles, read %.2f s; first frame (arrays built) buffer objects %.2f s, "
      "vertex arrays %.2f s, display lists %.2f s; read + first frame = %.2fx the read\n",
      path.c_str(), triangles, load_s, first[BUFFER_OBJECT], first[VERTEX_ARRAY],
      first[DISPLAY_LIST], (load_s + first[BUFFER_OBJECT]) / load_s);

  // The bare loop, with the camera and lights our frame sets.
  BareMesh bare(*scenes[0].original);
  auto bare_frame = [&] {
    scenes[0].set_camera(view, aspect);
    glColor4f(0.6f, 0.6f, 0.6f, 1.0f);
    bare.draw();
  };
  for (int i = 0; i < 2; ++i) {
    bare_frame();
    for (int m = 0; m < 3; ++m) frame_of(m)();
  }
  glFinish();

  std::vector<double> ms[4], cpu[4];
  long allocations = 0, bare_allocations = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int v = 0; v < 4; ++v) {
      RoundTime t =
          v < 3 ? time_round(frame_of(v), allocations) : time_round(bare_frame, bare_allocations);
      ms[v].push_back(t.wall_ms);
      cpu[v].push_back(t.cpu_ms);
    }
  }
  const char* names[4] = {"display list", "vertex array", "buffer object", "bare loop"};
  for (int v : {2, 1, 0, 3}) {
    double med = median(ms[v]);
    std::printf(
        "  %-14s %6.1f fps  %7.2f ms/frame (median of %d rounds), %7.2f ms processor "
        "time/frame\n",
        names[v], 1000.0 / med, med, kRounds, median(cpu[v]));
  }
  std::printf(
      "  buffer-object frame / bare loop: %.2fx by the clock, %.2fx by processor time "
      "(target <= 1.25x); %ld allocations in all timed scene frames\n",
      median(ms[BUFFER_OBJECT]) / median(ms[3]), median(cpu[BUFFER_OBJECT]) / median(cpu[3]),
      allocations);
}

int run(int argc, char** argv) {
  OffscreenGl gl;
  std::string why;
  if (!gl.open(kWidth, kHeight, why)) {
    std::fprintf(stderr, "%s: %s; run it under a virtual display: xvfb-run -a %s MESH.ply\n",
                 argv[0], why.c_str(), argv[0]);
    return 1;
  }
  set_message_sink([](MessageRoute, const std::string&) {});
  std::printf("%s", driver_line().c_str());
  glViewport(0, 0, kWidth, kHeight);
  glClearColor(1, 1, 1, 1);
  std::vector<std::string> meshes(argv + 1, argv + argc);
  if (meshes.empty()) meshes.push_back("tests/data/dragon_small.ply");
  for (const std::string& m : meshes) bench_mesh(m);
  set_message_sink({});
  return 0;
}

}  // namespace
}  // namespace Tavrin

int main(int argc, char** argv) { return Tavrin::run(argc, argv); }

// The 3d_mesh layer over the sample show's scene: loading, the camera and draw-mode words, no
// allocation per frame, and capture mode end to end, whose frames must be those of the render
// pass and smoothing at the layer's local time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "allocation_count.h"
#include "driver/capture.h"
#include "driver/layers.h"
#include "platform/png.h"
#include "render/render.h"
#include "render/screen.h"
#include "render/smooth.h"
#include "scene/reader_3ds.h"
#include "testdata.h"
#include "tools/show_assets.h"

namespace fs = std::filesystem;

namespace {

using Frame = std::vector<std::uint32_t>;

// The sample scene, written once per test into its own directory.
fs::path sample_scene(const std::string& test) {
  const fs::path dir = scratch_dir("mesh3d_" + test);
  EXPECT_TRUE(write_show_scene(dir));
  read_3ds_set_output(nullptr);
  set_screen_size(320, 200);
  return dir / "scene.3ds";
}

// A 3d_mesh layer drawn against a virtual clock, frame after frame.
struct LayerRun {
  Layer layer;
  VirtualClock clock;
  Timer timer;
  Frame frame = Frame(frame_pixels, 0);
  Frame work = Frame(frame_pixels, 0);
  SceneShelf scenes;
  LayerRun(const fs::path& file, const char* camera, const char* mode) {
    layer.type = LAYER_3D_MESH;
    layer.param1 = file.string();
    layer.param2 = camera;
    layer.param3 = "25";
    layer.param4 = mode;
    timer_start(timer, clock);
  }
  bool load(SceneShelf& shelf) { return bool(load_mesh3d_layer(layer, shelf)); }
  bool load() { return load(scenes); }
  const Frame& draw(double show_s) {
    clock.set(show_s);
    std::fill(frame.begin(), frame.end(), 0);
    draw_mesh3d_layer(layer, FrameContext{frame, work, &timer, &clock});
    return frame;
  }
};

// What the layer must show: the render pass and the smoothing, on a scene of its own.
Frame rendered(const fs::path& file, int frame_number, const char* camera, int mode) {
  std::unique_ptr<Scene> scene = load_3d_mesh(file.c_str());
  Frame frame(frame_pixels, 0);
  if (scene == nullptr) return frame;
  render_scene(*scene, frame_number, frame, camera, mode);
  smooth_frame(frame);
  return frame;
}

}  // namespace

// A missing or broken file loads nothing. A camera word beginning with "no" means Camera01; a
// name the scene lacks, with no "rolli" to fall back on, draws nothing. Only a mode word
// beginning with "flatshade" shades. Frames over eight seconds of animation allocate nothing.
TEST(Mesh3dLayer, NoMeansCamera01OnlyFlatshadeShadesAndFramesAllocateNothing) {
  const fs::path file = sample_scene("words");
  write_file_bytes(file.parent_path() / "text.3ds", {'n', 'o', 't', ' ', '3', 'd', 's'});
  for (const char* name : {"none.3ds", "text.3ds"}) {
    LayerRun bad(file.parent_path() / name, "Camera01", "flatshade");
    EXPECT_FALSE(bad.load()) << name;
    EXPECT_EQ(bad.layer.resource.scene, nullptr) << name;
  }
  const Frame flat = rendered(file, 0, "Camera01", DRAW_FLAT), wire = rendered(file, 0, "Camera01", DRAW_WIREFRAME);
  ASSERT_NE(flat, wire);
  ASSERT_LT(std::count(wire.begin(), wire.end(), 0u), std::ptrdiff_t(frame_pixels) - 1000);
  const struct { const char *camera, *mode; Frame expected; } cases[] = {
      {"Camera01", "flatshade", flat}, {"Camera01", "flatshaded", flat}, {"none", "flatshade", flat},
      {"no", "wireframe", wire},       {"Camera01", "flat", wire},       {"Camera01", "-", wire},
      {"Camera02", "flatshade", Frame(frame_pixels, 0)},
  };
  for (const auto& c : cases) {
    LayerRun run(file, c.camera, c.mode);
    ASSERT_TRUE(run.load());
    const long before = allocation_count();
    EXPECT_EQ(run.draw(0), c.expected) << c.camera << " " << c.mode;
    for (int k = 1; k <= 40; ++k) run.draw(0.2 * k);
    if (allocations_counted()) { EXPECT_EQ(allocation_count(), before) << c.camera << " " << c.mode; }
  }
}

// Two layers naming one file draw one scene, each at its own frame: the second layer runs eight
// times as fast and leaves the scene's range of 400 frames after two seconds, where it must keep
// showing its own last frame while the first layer moves on. Each must draw what a layer with a
// scene of its own draws.
TEST(Mesh3dLayer, LayersNamingOneFileShareOneSceneAndEachDrawsItsOwnFrame) {
  const fs::path file = sample_scene("shared");
  SceneShelf shelf;
  LayerRun slow(file, "Camera01", "flatshade");
  LayerRun fast(file, "Camera01", "wireframe");
  fast.layer.param3 = "200";
  ASSERT_TRUE(slow.load(shelf));
  ASSERT_TRUE(fast.load(shelf));
  EXPECT_EQ(slow.layer.resource.scene, fast.layer.resource.scene);
  LayerRun slow_alone(file, "Camera01", "flatshade");
  LayerRun fast_alone(file, "Camera01", "wireframe");
  fast_alone.layer.param3 = "200";
  ASSERT_TRUE(slow_alone.load());
  ASSERT_TRUE(fast_alone.load());
  for (int k = 0; k <= 12; ++k) {
    const double t = 0.3 * k;
    EXPECT_EQ(slow.draw(t), slow_alone.draw(t)) << "slow layer at " << t << " s";
    EXPECT_EQ(fast.draw(t), fast_alone.draw(t)) << "fast layer at " << t << " s";
  }
}

// Capture mode at 32 frames a second with a rate of 32, so that frame k of the capture shows
// scene frame k exactly; its PNG files must hold the render pass's frames byte for byte.
TEST(Mesh3dCapture, FramesAreTheRenderPassAtTheLayersLocalTime) {
  const fs::path file = sample_scene("capture"), dir = file.parent_path();
  for (const char* mode : {"flatshade", "wireframe"}) {
    const std::string script = "quitpat 5\npattern 0 0\n{\n3d_mesh 0 0 0 40 " + file.string() + " Camera01 32 " + mode + "\n}\n";
    write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
    const fs::path out = dir / (std::string("out_") + mode);
    CaptureOptions options;
    options.out = out.string();
    options.fps = 32;
    options.max_frames = 24;
    options.script_path = (dir / "script.txt").string();
    ASSERT_EQ(run_capture(options), 0) << mode;  // ended by the frame limit
    for (auto [k, name] : {std::pair{0, "frame_000000.png"}, {9, "frame_000009.png"}, {23, "frame_000023.png"}}) {
      const Frame expected = rendered(file, k, "Camera01", mode[0] == 'f' ? DRAW_FLAT : DRAW_WIREFRAME);
      ASSERT_TRUE(write_png((out / "expected.png").string(), expected, 320, 200));
      EXPECT_EQ(read_file_bytes(out / name), read_file_bytes(out / "expected.png")) << mode << " " << name;
    }
  }
}

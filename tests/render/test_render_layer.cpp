// The 3d_mesh layer over the sample show's scene: loading, the camera and draw-mode words, the
// local time as frame number, no allocation per frame, and capture mode end to end, whose
// frames must be those of the render pass and smoothing at the layer's local time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
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

Layer mesh3d_layer(const fs::path& file, const char* camera, const char* rate, const char* mode) {
  Layer l;
  l.type = LAYER_3D_MESH;
  l.param1 = file.string();
  l.param2 = camera;
  l.param3 = rate;
  l.param4 = mode;
  return l;
}

// A layer drawn against a virtual clock, frame after frame.
struct LayerRun {
  VirtualClock clock;
  Timer timer;
  Frame frame = Frame(frame_pixels, 0);
  Frame work = Frame(frame_pixels, 0);
  LayerRun() { timer_start(timer, clock); }
  const Frame& draw(Layer& layer, double show_s) {
    clock.set(show_s);
    std::fill(frame.begin(), frame.end(), 0);
    FrameContext context;
    context.frame = frame;
    context.work = work;
    context.show_timer = &timer;
    context.process_clock = &clock;
    draw_mesh3d_layer(layer, context);
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

int lit_pixels(const Frame& frame) {
  int n = 0;
  for (std::uint32_t p : frame) n += p != 0;
  return n;
}

}  // namespace

TEST(Mesh3dLayer, MissingOrBrokenFileLoadsNothing) {
  const fs::path dir = scratch_dir("mesh3d_missing");
  Layer missing = mesh3d_layer(dir / "none.3ds", "Camera01", "25", "flatshade");
  EXPECT_FALSE(load_mesh3d_layer(missing));
  EXPECT_EQ(missing.resource.scene, nullptr);
  write_file_bytes(dir / "text.3ds", {'n', 'o', 't', ' ', '3', 'd', 's'});
  Layer broken = mesh3d_layer(dir / "text.3ds", "Camera01", "25", "flatshade");
  EXPECT_FALSE(load_mesh3d_layer(broken));
}

TEST(Mesh3dLayer, DrawsTheSceneAtItsLocalTime) {
  const fs::path file = sample_scene("local_time");
  Layer layer = mesh3d_layer(file, "Camera01", "25", "flatshade");
  ASSERT_TRUE(load_mesh3d_layer(layer));
  LayerRun run;
  const Frame first = run.draw(layer, 12.5);  // the first drawn frame is scene frame 0
  EXPECT_EQ(first, rendered(file, 0, "Camera01", DRAW_FLAT));
  EXPECT_GT(lit_pixels(first), 20000);
  const Frame later = run.draw(layer, 13.5);  // one second later at 25 frames a second
  EXPECT_EQ(layer.local_time, 25);
  EXPECT_EQ(later, rendered(file, 25, "Camera01", DRAW_FLAT));
  EXPECT_NE(later, first);
}

TEST(Mesh3dLayer, CameraWordBeginningWithNoMeansCamera01) {
  const fs::path file = sample_scene("camera_no");
  const Frame expected = rendered(file, 0, "Camera01", DRAW_WIREFRAME);
  EXPECT_GT(lit_pixels(expected), 1000);
  for (const char* word : {"no", "none"}) {
    Layer layer = mesh3d_layer(file, word, "25", "wireframe");
    ASSERT_TRUE(load_mesh3d_layer(layer));
    LayerRun run;
    EXPECT_EQ(run.draw(layer, 0), expected) << word;
  }
  // A name the scene lacks, with no "rolli" to fall back on: nothing is drawn.
  Layer unknown = mesh3d_layer(file, "Camera02", "25", "flatshade");
  ASSERT_TRUE(load_mesh3d_layer(unknown));
  LayerRun run;
  EXPECT_EQ(lit_pixels(run.draw(unknown, 0)), 0);
}

TEST(Mesh3dLayer, ModeWordChoosesFlatShadingOnlyForFlatshade) {
  const fs::path file = sample_scene("mode");
  const Frame flat = rendered(file, 0, "Camera01", DRAW_FLAT);
  const Frame wire = rendered(file, 0, "Camera01", DRAW_WIREFRAME);
  ASSERT_NE(flat, wire);
  const std::pair<const char*, const Frame*> cases[] = {
      {"flatshade", &flat}, {"flatshaded", &flat}, {"wireframe", &wire}, {"flat", &wire}, {"-", &wire}};
  for (const auto& [word, expected] : cases) {
    Layer layer = mesh3d_layer(file, "Camera01", "25", word);
    ASSERT_TRUE(load_mesh3d_layer(layer));
    LayerRun run;
    EXPECT_EQ(run.draw(layer, 0), *expected) << word;
  }
}

TEST(Mesh3dLayer, FramesAllocateNothing) {
  if (!allocations_counted()) GTEST_SKIP() << "the sanitizer build does not count allocations";
  const fs::path file = sample_scene("allocations");
  Layer flat = mesh3d_layer(file, "Camera01", "25", "flatshade");
  Layer wire = mesh3d_layer(file, "no", "30", "wireframe");
  ASSERT_TRUE(load_mesh3d_layer(flat));
  ASSERT_TRUE(load_mesh3d_layer(wire));
  LayerRun run;
  const long before = allocation_count();
  for (int k = 0; k < 40; ++k) {
    run.draw(flat, 0.2 * k);
    run.draw(wire, 0.2 * k);
  }
  EXPECT_EQ(allocation_count(), before);
}

// Capture mode at 32 frames a second with a rate of 32, so that frame k of the capture shows
// scene frame k exactly; its PNG files must hold the render pass's frames byte for byte.
TEST(Mesh3dCapture, FramesAreTheRenderPassAtTheLayersLocalTime) {
  const fs::path file = sample_scene("capture");
  const fs::path dir = file.parent_path();
  for (const char* mode : {"flatshade", "wireframe"}) {
    SCOPED_TRACE(mode);
    const std::string script = "quitpat 5\npattern 0 0\n{\n3d_mesh 0 0 0 40 " + file.string() + " Camera01 32 " + mode + "\n}\n";
    write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
    const fs::path out = dir / (std::string("out_") + mode);
    CaptureOptions options;
    options.out_dir = out.string();
    options.fps = 32;
    options.max_frames = 24;
    options.script_path = (dir / "script.txt").string();
    ASSERT_EQ(run_capture(options), 0);  // ended by the frame limit

    const int draw_mode = mode[0] == 'f' ? DRAW_FLAT : DRAW_WIREFRAME;
    for (int k : {0, 9, 23}) {
      char name[32];
      std::snprintf(name, sizeof name, "frame_%06d.png", k);
      const Frame expected = rendered(file, k, "Camera01", draw_mode);
      ASSERT_TRUE(write_png((out / (std::string("expected_") + name)).string(), expected, 320, 200));
      EXPECT_EQ(read_file_bytes(out / name), read_file_bytes(out / (std::string("expected_") + name))) << name;
    }
  }
}

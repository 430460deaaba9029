// The scene tools end to end: scene-info and scene-eval on a small scene built byte by byte
// (the JSON record fields, frames in the order given, the camera option, exit codes), and
// scene-convert, whose native files read back exactly as the scenes they came from.
#include <gtest/gtest.h>

#include <array>

#include "scene/native_scene_fixture.h"
#include "testdata.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// Material "Mat" (id 0), mesh "Tri" (1) in it, light "Lamp" (2), camera "Cam" (3); the
// mesh moves from x 0 at frame 0 to x 10 at frame 10, frames 0 .. 20.
std::string small_scene(const std::string& test, bool with_keyframer = true) {
  TdsWriter w;
  w.begin(TDS_MAIN);
  w.version(3);
  w.begin(TDS_EDITOR);
  w.mesh_version(3);
  w.begin(TDS_MATERIAL);
  w.chunk_string(TDS_MAT_NAME, "Mat");
  w.end();
  w.begin_named_object("Tri");
  w.begin(TDS_MESH);
  w.points(std::array{TdsVec{0, 0, 0}, TdsVec{1, 0, 0}, TdsVec{0, 0, 1}});
  w.begin_faces(std::array{TdsFace{0, 1, 2, 0}});
  w.face_material("Mat", std::array<std::uint16_t, 1>{0});
  w.end();
  w.end();
  w.end();
  w.begin_named_object("Lamp");
  w.begin_light({0, 0, 5});
  w.end();
  w.end();
  w.begin_named_object("Cam");
  w.camera({0, -10, 0}, {0, 0, 0}, 0, 50);
  w.end();
  w.end();
  if (with_keyframer) {
    w.begin(TDS_KEYFRAMER);
    w.frames(0, 20);
    w.begin(TDS_OBJECT_NODE);
    w.node_id(0);
    w.node_header("Tri", 0, 0, -1);
    w.vector_track(TDS_POS_TRACK, std::array{TdsVectorKey{0, {0, 0, 0}}, TdsVectorKey{10, {10, 0, 0}}});
    w.end();
    w.begin(TDS_CAMERA_NODE);
    w.node_id(1);
    w.node_header("Cam", 0, 0, -1);
    w.end();
    w.end();
  }
  w.end();
  const auto path = scratch_dir("scene_tool_" + test) / "scene.3ds";
  write_file_bytes(path, w.bytes());
  return path.string();
}

}  // namespace

TEST(SceneInfo, JsonListsObjectsAndNodesInListOrder) {
  const ToolRun r = run_tool("scene-info --json " + small_scene("info"));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "{\"scene_code\":0,\"motion_code\":0,\"printed\":[\"licht gelesen: Lamp\"],\"start_frame\":0.0,"
            "\"end_frame\":20.0,\"visible_face_count\":1,\"objects\":["
            "{\"kind\":8,\"name\":\"Mat\",\"id\":0,\"flags\":0,\"shading\":0,\"ambient\":[0.0,0.0,0.0],"
            "\"diffuse\":[0.0,0.0,0.0],\"specular\":[0.0,0.0,0.0],\"texture\":\"\"},"
            "{\"kind\":4,\"name\":\"Tri\",\"id\":1,\"vertex_count\":3,\"face_count\":1,\"flags\":0,\"parent_id\":-1,"
            "\"pivot\":[0.0,0.0,0.0],\"box_min\":[0.0,0.0,0.0],\"box_max\":[1.0,1.0,0.0]},"
            "{\"kind\":2,\"name\":\"Lamp\",\"id\":2,\"type\":1,\"position\":[0.0,5.0,0.0],\"target\":[0.0,0.0,0.0],"
            "\"colour\":[0.0,0.0,0.0],\"hotspot\":0.0,\"falloff\":0.0,\"parent_id\":-1,\"target_parent_id\":-1},"
            "{\"kind\":1,\"name\":\"Cam\",\"id\":3,\"position\":[0.0,0.0,-10.0],\"target\":[0.0,0.0,0.0],"
            "\"fov\":46.0,\"roll\":0.0,\"parent_id\":-1,\"target_parent_id\":-1}],"
            "\"nodes\":[{\"kind\":32,\"node_id\":0,\"parent_id\":-1,\"object_id\":1,\"tracks\":[2,0,0,0,0]},"
            "{\"kind\":1,\"node_id\":1,\"parent_id\":-1,\"object_id\":3,\"tracks\":[0,0,0]}]}\n");
}

// The text form. Exit codes: 0 when both load stages succeed (also without a keyframer), 1
// for a missing file (both stages fail), an unknown camera, an output that cannot be written
// or a cut scene that loads with a read error (nothing is written), 2 for usage errors.
TEST(SceneTools, TextFormAndExitCodes) {
  const std::string path = small_scene("text"), d = fs::path(path).parent_path().string() + "/";
  const ToolRun text = run_tool("scene-info " + path);
  EXPECT_EQ(text.code, 0);
  EXPECT_NE(text.out.find("mesh 1 \"Tri\": 3 vertices, 1 faces"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("node 0, object -> \"Tri\" (1), keys 2 0 0 0 0"), std::string::npos);
  const ToolRun missing = run_tool("scene-info --json /nonexistent/scene.3ds");
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out.rfind("{\"scene_code\":2,\"motion_code\":2,", 0), 0u) << missing.out;
  std::vector<unsigned char> cut = fixture_scene_3ds();
  write_file_bytes(d + "cut.3ds", {cut.begin(), cut.begin() + std::ptrdiff_t(cut.size() / 2)});
  for (auto [args, code] : {std::pair<std::string, int>{"scene-info " + small_scene("no_keyframer", false), 0},
                            {"scene-info", 2}, {"scene-eval " + path + " --frames 0 --camera Nobody", 1},
                            {"scene-eval " + path + " --frames 0,x", 2}, {"scene-eval " + path, 2},
                            {"scene-convert " + path, 2}, {"scene-convert", 2},
                            {"scene-convert " + d + "missing.3ds " + d + "x.nvf", 1},
                            {"scene-convert " + path + " " + d + "no/x.nvf", 1}, {"scene-convert " + d + "cut.3ds " + d + "cut.nvf", 1}})
    EXPECT_EQ(run_tool(args).code, code) << args;
  EXPECT_FALSE(fs::exists(d + "cut.nvf"));
}

// Frame 20 is the end of the range: refused with 6, the scene stays at frame 5; frames come in
// the order given, without vertices unless a camera is named.
TEST(SceneEval, FramesInTheOrderGivenWithTheirCodes) {
  const ToolRun r = run_tool("scene-eval --json " + small_scene("eval") + " --frames 5,20,2.5");
  EXPECT_EQ(r.code, 0);
  std::size_t at = 0;
  for (const std::string frame : {"{\"frame\":5.0,\"code\":0,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                  "\"flags\":0,\"position\":[5.0,0.0,0.0],\"matrix\":[[",
                                  "{\"frame\":20.0,\"code\":6,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                  "\"flags\":0,\"position\":[5.0,0.0,0.0]",
                                  "{\"frame\":2.5,\"code\":0,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                  "\"flags\":0,\"position\":[2.5,0.0,0.0]"}) {
    at = r.out.find(frame, at);
    ASSERT_NE(at, std::string::npos) << frame << "\n" << r.out;
  }
  for (const std::string part : {"\"cameras\":[{\"name\":\"Cam\",\"position\":[0.0,0.0,-10.0],\"target\":[0.0,0.0,0.0],"
                                 "\"fov\":46.0,\"roll\":0.0,\"matrix\":",
                                 "\"lights\":[{\"name\":\"Lamp\",\"position\":[0.0,5.0,0.0]", "\"ambient\":[0.0,0.0,0.0]}"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part;
  EXPECT_EQ(r.out.find("\"vertices\""), std::string::npos);
  // The camera at z -10 looks along +z at the origin: vertex (0, 0, 0) is 10 ahead of it.
  const ToolRun camera = run_tool("scene-eval --json " + small_scene("camera") + " --frames 0 --camera Cam");
  EXPECT_EQ(camera.code, 0);
  EXPECT_NE(camera.out.find("\"vertices\":[[0.0,0.0,10.0],"), std::string::npos) << camera.out;
}

TEST(SceneEval, CubeFlatFramesMatchTheIndependentModel) {
  const std::filesystem::path path = testdata_path("3ds/cube_flat.3ds");
  const ToolRun r = run_tool("scene-eval --json " + path.string() + " --frames 5.5,25");
  EXPECT_EQ(r.code, 0);
  for (const char* part : {"\"printed\":[\"licht gelesen: Omni01\",\"licht gelesen: Spot01\"]",
                           "{\"name\":\"Cube\",\"id\":4,\"flags\":0,\"position\":[17.602",
                           "{\"name\":\"Cube\",\"id\":4,\"flags\":0,\"position\":[30.0,5.0,10.0]", "\"fov\":31.075"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

// The built scene, and the interop scenes when they are there: scene-info and scene-eval (at
// frames forward, backward and outside the range, through the camera) print the same for the
// original and the converted file, apart from the lines only the .3DS reader prints; the
// converted file converts to the same bytes.
TEST(SceneConvert, ConvertedScenesReadBackAsTheOriginals) {
  const auto dir = scratch_dir("scene_convert");
  write_file_bytes(dir / "scene.3ds", fixture_scene_3ds());
  const fs::path interop = testdata_path("3ds");
  const std::vector<fs::path> scenes = {dir / "scene.3ds", interop / "cube_flat.3ds", interop / "hierarchy.3ds"};
  const auto without_printed = [](std::string json) {
    const std::size_t start = json.find("\"printed\":[");
    return start == std::string::npos ? json : json.erase(start, json.find("],", start) + 2 - start);
  };
  for (const fs::path& original : scenes) {
    const fs::path converted = dir / original.filename().replace_extension(".nvf");
    ASSERT_EQ(run_tool("scene-convert " + original.string() + " " + converted.string()).code, 0) << original;
    const std::vector<unsigned char> bytes = read_file_bytes(converted);
    for (const std::string command :
         {"scene-info --json ", "scene-eval --json --camera Camera01 --frames 0,0.5,10,12.75,31,30,61,75,99.5,100,-1,3 "}) {
      const ToolRun a = run_tool(command + original.string());
      const ToolRun b = run_tool(command + converted.string());
      EXPECT_EQ(a.code, 0) << command << original;
      EXPECT_EQ(b.code, 0) << command << converted;
      EXPECT_EQ(without_printed(a.out), without_printed(b.out)) << command << original;
    }
    ASSERT_EQ(run_tool("scene-convert " + converted.string() + " " + (dir / "again.nvf").string()).code, 0);
    EXPECT_EQ(read_file_bytes(dir / "again.nvf"), bytes) << original;
  }
}

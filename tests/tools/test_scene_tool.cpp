// scene-info and scene-eval end to end on a small scene built byte by byte: the JSON record
// fields, frames in the order given, the camera option and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testdata.h"
#include "tools/tds_writer.h"

namespace {

struct ToolRun {
  int code = -1;
  std::string out;
};

ToolRun run_tool(const std::string& args) {
  ToolRun r;
  std::FILE* p = popen((std::string(QUINDLE_TOOL) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

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
  const TdsVec points[] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
  w.points(points);
  const TdsFace faces[] = {{0, 1, 2, 0}};
  w.begin_faces(faces);
  const std::uint16_t group[] = {0};
  w.face_material("Mat", group);
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
    const TdsVectorKey position[] = {{0, {0, 0, 0}}, {10, {10, 0, 0}}};
    w.vector_track(TDS_POS_TRACK, position);
    w.end();
    w.begin(TDS_CAMERA_NODE);
    w.node_id(1);
    w.node_header("Cam", 0, 0, -1);
    w.end();
    w.end();
  }
  w.end();
  const auto path = scratch_dir("scene_tool_" + test) / "scene.3ds";
  write_file_bytes(path, {w.bytes().begin(), w.bytes().end()});
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

TEST(SceneInfo, TextAndFailingStagesExitWithOne) {
  const ToolRun text = run_tool("scene-info " + small_scene("text"));
  EXPECT_EQ(text.code, 0);
  EXPECT_NE(text.out.find("mesh 1 \"Tri\": 3 vertices, 1 faces"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("node 0, object -> \"Tri\" (1), keys 2 0 0 0 0"), std::string::npos);
  // No keyframer: the motion stage reads nothing and still succeeds.
  EXPECT_EQ(run_tool("scene-info " + small_scene("no_keyframer", false)).code, 0);
  const ToolRun missing = run_tool("scene-info --json /nonexistent/scene.3ds");
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out.rfind("{\"scene_code\":2,\"motion_code\":2,", 0), 0u) << missing.out;
  EXPECT_EQ(run_tool("scene-info").code, 2);
}

TEST(SceneEval, FramesInTheOrderGivenWithTheirCodes) {
  const ToolRun r = run_tool("scene-eval --json " + small_scene("eval") + " --frames 5,20,2.5");
  EXPECT_EQ(r.code, 0);
  // Frame 20 is the end of the range: refused with 6, the scene stays at frame 5.
  const std::size_t f5 = r.out.find("{\"frame\":5.0,\"code\":0,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                    "\"flags\":0,\"position\":[5.0,0.0,0.0],\"matrix\":[[");
  const std::size_t f20 = r.out.find("{\"frame\":20.0,\"code\":6,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                     "\"flags\":0,\"position\":[5.0,0.0,0.0]");
  const std::size_t f25 = r.out.find("{\"frame\":2.5,\"code\":0,\"update_code\":0,\"meshes\":[{\"name\":\"Tri\",\"id\":1,"
                                     "\"flags\":0,\"position\":[2.5,0.0,0.0]");
  EXPECT_NE(f5, std::string::npos) << r.out;
  EXPECT_LT(f5, f20);
  EXPECT_LT(f20, f25);
  EXPECT_NE(f25, std::string::npos);
  EXPECT_NE(r.out.find("\"cameras\":[{\"name\":\"Cam\",\"position\":[0.0,0.0,-10.0],\"target\":[0.0,0.0,0.0],"
                       "\"fov\":46.0,\"roll\":0.0,\"matrix\":"),
            std::string::npos);
  EXPECT_NE(r.out.find("\"lights\":[{\"name\":\"Lamp\",\"position\":[0.0,5.0,0.0]"), std::string::npos);
  EXPECT_NE(r.out.find("\"ambient\":[0.0,0.0,0.0]}"), std::string::npos);
  EXPECT_EQ(r.out.find("\"vertices\""), std::string::npos);
}

TEST(SceneEval, CameraOptionListsVerticesInCameraSpace) {
  const std::string path = small_scene("camera");
  const ToolRun r = run_tool("scene-eval --json " + path + " --frames 0 --camera Cam");
  EXPECT_EQ(r.code, 0);
  // The camera at z -10 looks along +z at the origin: vertex (0, 0, 0) is 10 ahead of it.
  EXPECT_NE(r.out.find("\"vertices\":[[0.0,0.0,10.0],"), std::string::npos) << r.out;
  EXPECT_EQ(run_tool("scene-eval " + path + " --frames 0 --camera Nobody").code, 1);
  EXPECT_EQ(run_tool("scene-eval " + path + " --frames 0,x").code, 2);
  EXPECT_EQ(run_tool("scene-eval " + path).code, 2);
}

TEST(SceneEval, CubeFlatFramesMatchTheIndependentModel) {
  SKIP_WITHOUT_TESTDATA(path, "3ds/cube_flat.3ds");
  const ToolRun r = run_tool("scene-eval --json " + path.string() + " --frames 5.5,25");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("\"printed\":[\"licht gelesen: Omni01\",\"licht gelesen: Spot01\"]"), std::string::npos);
  EXPECT_NE(r.out.find("{\"name\":\"Cube\",\"id\":4,\"flags\":0,\"position\":[17.602"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"name\":\"Cube\",\"id\":4,\"flags\":0,\"position\":[30.0,5.0,10.0]"), std::string::npos);
  EXPECT_NE(r.out.find("\"fov\":31.075"), std::string::npos);
}

// cmd_scene.cpp: scene-info and scene-eval: a scene file loaded by the show's own loader for a
// 3d_mesh layer (scene_load_3d_mesh), its objects, nodes and tracks, and its state at chosen
// frames; scene-convert: a scene saved in the native format.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/write_file.h"
#include "scene/frame_update.h"
#include "scene/native_format.h"
#include "scene/reader_3ds.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "tools/commands.h"
#include "tools/json.h"

namespace {

// The render pass's screen for the active camera.
constexpr float screen_width = 320, screen_height = 200, screen_aspect = 0.75f;

struct LoadedScene {
  std::unique_ptr<Scene> scene;
  int scene_code = -1;
  int motion_code = -1;
  std::vector<std::string> printed;  // the reader's lines, without their "\r\n"
  bool ok() const { return scene_code == SCENE_OK && motion_code == SCENE_OK; }
};

const char* object_kind_text(SceneNodeKind kind) {
  switch (kind) {
    case NODE_CAMERA: return "camera";
    case NODE_LIGHT: return "light";
    case NODE_MESH: return "mesh";
    case NODE_MATERIAL: return "material";
    case NODE_AMBIENT: return "ambient";
    default: return "object";
  }
}

const char* node_kind_text(AnimNodeKind kind) {
  switch (kind) {
    case ANIM_CAMERA: return "camera";
    case ANIM_CAMERA_TARGET: return "camera target";
    case ANIM_OMNI: return "omni light";
    case ANIM_SPOT: return "spot light";
    case ANIM_LIGHT_TARGET: return "light target";
    case ANIM_OBJECT: return "object";
    case ANIM_AMBIENT: return "ambient";
    default: return "node";
  }
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The file through the show's loader, with the light lines it prints kept; the scene is left
// active.
LoadedScene load_scene(const char* path) {
  LoadedScene l;
  std::FILE* capture = std::tmpfile();
  std::FILE* old = read_3ds_set_output(capture);
  MeshLoad load = scene_load_3d_mesh(path);
  read_3ds_set_output(old);
  l.scene = std::move(load.scene);
  l.scene_code = load.scene_code;
  l.motion_code = load.motion_code;
  if (capture != nullptr) {
    std::string text;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;) text += char(c);
    std::fclose(capture);
    l.printed = split_lines(text);
  }
  if (l.scene != nullptr) scene_set_active(l.scene.get());
  return l;
}

int track_keys(const AnimNode& node, int slot) {
  const Track* t = node.tracks != nullptr ? node.tracks->slots[slot].get() : nullptr;
  return t != nullptr ? t->key_count : 0;
}

template <class T>
const T& as(const SceneNode& node) {
  return *static_cast<const T*>(node.object.get());
}

// ---- JSON pieces ----

void json_vec(JsonWriter& j, const Vector3& v) {
  j.begin_array();
  j.value(double(v.x));
  j.value(double(v.y));
  j.value(double(v.z));
  j.end_array();
}

void key_vec(JsonWriter& j, const char* key, const Vector3& v) {
  j.key(key);
  json_vec(j, v);
}

void json_matrix(JsonWriter& j, const Matrix& m) {
  j.begin_array();
  for (const auto& row : m.m) {
    j.begin_array();
    for (float v : row) j.value(double(v));
    j.end_array();
  }
  j.end_array();
}

void json_header(JsonWriter& j, const LoadedScene& l) {
  j.key("scene_code").value(l.scene_code);
  j.key("motion_code").value(l.motion_code);
  j.key("printed").begin_array();
  for (const std::string& line : l.printed) j.value(line);
  j.end_array();
}

void json_object(JsonWriter& j, const SceneNode& node) {
  j.begin_object();
  j.key("kind").value(node.kind);
  j.key("name").value(node.object->name);
  j.key("id").value(node.object->id);
  switch (node.kind) {
    case NODE_MESH: {
      const Mesh& m = as<Mesh>(node);
      j.key("vertex_count").value(int(m.vertices.size()));
      j.key("face_count").value(int(m.faces.size()));
      j.key("flags").value(m.flags);
      j.key("parent_id").value(m.parent_id);
      key_vec(j, "pivot", m.pivot);
      key_vec(j, "box_min", m.box_min);
      key_vec(j, "box_max", m.box_max);
      break;
    }
    case NODE_CAMERA: {
      const Camera& c = as<Camera>(node);
      key_vec(j, "position", c.position);
      key_vec(j, "target", c.target);
      j.key("fov").value(double(c.fov));
      j.key("roll").value(double(c.roll));
      j.key("parent_id").value(c.parent_id);
      j.key("target_parent_id").value(c.target_parent_id);
      break;
    }
    case NODE_LIGHT: {
      const Light& li = as<Light>(node);
      j.key("type").value(li.type);
      key_vec(j, "position", li.position);
      key_vec(j, "target", li.target);
      key_vec(j, "colour", li.color);
      j.key("hotspot").value(double(li.hotspot));
      j.key("falloff").value(double(li.falloff));
      j.key("parent_id").value(li.parent_id);
      j.key("target_parent_id").value(li.target_parent_id);
      break;
    }
    case NODE_MATERIAL: {
      const Material& m = as<Material>(node);
      j.key("flags").value(m.flags);
      j.key("shading").value(m.shading);
      key_vec(j, "ambient", m.ambient);
      key_vec(j, "diffuse", m.diffuse);
      key_vec(j, "specular", m.specular);
      j.key("texture").value(m.maps[MAP_TEXTURE].file_name);
      break;
    }
    case NODE_AMBIENT:
      key_vec(j, "colour", as<Ambient>(node).color);
      break;
    default:
      break;
  }
  j.end_object();
}

void json_node(JsonWriter& j, const AnimNode& node) {
  j.begin_object();
  j.key("kind").value(node.kind);
  j.key("node_id").value(node.node_id);
  j.key("parent_id").value(node.parent != nullptr ? node.parent->node_id : -1);
  j.key("object_id").value(node.object != nullptr ? node.object->id : -1);
  j.key("tracks").begin_array();
  for (int slot = 0; slot < track_set_slot_count(node.kind); ++slot) j.value(track_keys(node, slot));
  j.end_array();
  j.end_object();
}

// ---- text pieces ----

std::string vec_text(const Vector3& v) {
  char s[96];
  std::snprintf(s, sizeof s, "(%g, %g, %g)", double(v.x), double(v.y), double(v.z));
  return s;
}

void print_header(const char* path, const LoadedScene& l) {
  std::printf("%s: scene stage %d (%s), motion stage %d (%s)\n", path, l.scene_code, scene_code_text(l.scene_code),
              l.motion_code, scene_code_text(l.motion_code));
  for (const std::string& line : l.printed) std::printf("printed: %s\n", line.c_str());
}

void print_object(const SceneNode& node) {
  std::printf("  %s %d \"%s\"", object_kind_text(node.kind), node.object->id, node.object->name.c_str());
  switch (node.kind) {
    case NODE_MESH: {
      const Mesh& m = as<Mesh>(node);
      std::printf(": %zu vertices, %zu faces, flags %u, parent %d, pivot %s", m.vertices.size(), m.faces.size(),
                  m.flags, m.parent_id, vec_text(m.pivot).c_str());
      break;
    }
    case NODE_CAMERA: {
      const Camera& c = as<Camera>(node);
      std::printf(": position %s, target %s, fov %g, roll %g", vec_text(c.position).c_str(),
                  vec_text(c.target).c_str(), double(c.fov), double(c.roll));
      break;
    }
    case NODE_LIGHT: {
      const Light& li = as<Light>(node);
      std::printf(": %s, position %s, colour %s", li.type == LIGHT_SPOT ? "spot" : "omni",
                  vec_text(li.position).c_str(), vec_text(li.color).c_str());
      break;
    }
    case NODE_MATERIAL: {
      const Material& m = as<Material>(node);
      std::printf(": diffuse %s, flags %u", vec_text(m.diffuse).c_str(), m.flags);
      break;
    }
    default:
      break;
  }
  std::printf("\n");
}

void print_node(const AnimNode& node) {
  std::printf("  node %d, %s", node.node_id, node_kind_text(node.kind));
  if (node.object != nullptr) std::printf(" -> \"%s\" (%d)", node.object->name.c_str(), node.object->id);
  if (node.parent != nullptr) std::printf(", parent node %d", node.parent->node_id);
  std::printf(", keys");
  for (int slot = 0; slot < track_set_slot_count(node.kind); ++slot) std::printf(" %d", track_keys(node, slot));
  std::printf("\n");
}

// ---- arguments ----

// Comma-separated frame numbers; false on anything else.
bool parse_frames(const char* text, std::vector<float>& frames) {
  std::string list = text;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    char* rest = nullptr;
    float f = std::strtof(item.c_str(), &rest);
    if (item.empty() || *rest != '\0') return false;
    frames.push_back(f);
    start = end + 1;
  }
  return !frames.empty();
}

Camera* find_camera(std::string_view name) {
  Scene* scene = scene_get_active();
  if (scene == nullptr) return nullptr;
  for (SceneNode* n = scene->first_object; n != nullptr; n = n->next)
    if (n->kind == NODE_CAMERA && n->object->name == name) return static_cast<Camera*>(n->object.get());
  return nullptr;
}

// ---- scene-eval ----

struct FrameState {
  float frame = 0;
  int code = 0;         // scene_set_frame
  int update_code = 0;  // scene_update
};

// One frame as the render pass runs it: camera, frame, update.
FrameState evaluate(float frame, Camera* camera) {
  if (camera != nullptr) {
    camera->screen_width = screen_width;
    camera->screen_height = screen_height;
    camera->aspect = screen_aspect;
  }
  camera_set_active(camera);
  FrameState s;
  s.frame = frame;
  s.code = scene_set_frame(frame);
  s.update_code = scene_update();
  return s;
}

const Ambient* first_ambient(const Scene& scene) {
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next)
    if (n->kind == NODE_AMBIENT) return static_cast<const Ambient*>(n->object.get());
  return nullptr;
}

void json_frame(JsonWriter& j, const Scene& scene, const FrameState& s, bool with_vertices) {
  j.begin_object();
  j.key("frame").value(double(s.frame));
  j.key("code").value(s.code);
  j.key("update_code").value(s.update_code);
  j.key("meshes").begin_array();
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_MESH) continue;
    const Mesh& m = as<Mesh>(*n);
    j.begin_object();
    j.key("name").value(m.name);
    j.key("id").value(m.id);
    j.key("flags").value(m.flags);
    key_vec(j, "position", m.position);
    j.key("matrix");
    json_matrix(j, m.matrix);
    if (with_vertices) {
      j.key("vertices").begin_array();
      for (const Vertex& v : m.vertices) json_vec(j, v.transformed_position);
      j.end_array();
    }
    j.end_object();
  }
  j.end_array();
  j.key("cameras").begin_array();
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_CAMERA) continue;
    const Camera& c = as<Camera>(*n);
    j.begin_object();
    j.key("name").value(c.name);
    key_vec(j, "position", c.position);
    key_vec(j, "target", c.target);
    j.key("fov").value(double(c.fov));
    j.key("roll").value(double(c.roll));
    j.key("matrix");
    json_matrix(j, c.matrix);
    j.end_object();
  }
  j.end_array();
  j.key("lights").begin_array();
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) {
    if (n->kind != NODE_LIGHT) continue;
    const Light& li = as<Light>(*n);
    j.begin_object();
    j.key("name").value(li.name);
    key_vec(j, "position", li.position);
    key_vec(j, "target", li.target);
    key_vec(j, "colour", li.color);
    j.end_object();
  }
  j.end_array();
  const Ambient* ambient = first_ambient(scene);
  key_vec(j, "ambient", ambient != nullptr ? ambient->color : Vector3{});
  j.end_object();
}

void print_matrix(const Matrix& m) {
  for (const auto& row : m.m)
    std::printf("    [%g %g %g %g]\n", double(row[0]), double(row[1]), double(row[2]), double(row[3]));
}

void print_frame(const Scene& scene, const FrameState& s, bool with_vertices) {
  std::printf("frame %g: %d (%s)\n", double(s.frame), s.code, scene_code_text(s.code));
  for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) {
    if (n->kind == NODE_MESH) {
      const Mesh& m = as<Mesh>(*n);
      std::printf("  mesh \"%s\" (%d), flags %u%s\n", m.name.c_str(), m.id, m.flags,
                  (m.flags & MESH_NOT_DRAWN) != 0 ? ", not drawn" : "");
      print_matrix(m.matrix);
      if (with_vertices)
        for (const Vertex& v : m.vertices) std::printf("    vertex %s\n", vec_text(v.transformed_position).c_str());
    } else if (n->kind == NODE_CAMERA) {
      const Camera& c = as<Camera>(*n);
      std::printf("  camera \"%s\": position %s, target %s, fov %g, roll %g\n", c.name.c_str(),
                  vec_text(c.position).c_str(), vec_text(c.target).c_str(), double(c.fov), double(c.roll));
    } else if (n->kind == NODE_LIGHT) {
      const Light& li = as<Light>(*n);
      std::printf("  light \"%s\": position %s, target %s, colour %s\n", li.name.c_str(),
                  vec_text(li.position).c_str(), vec_text(li.target).c_str(), vec_text(li.color).c_str());
    } else if (n->kind == NODE_AMBIENT) {
      std::printf("  ambient \"%s\": colour %s\n", n->object->name.c_str(), vec_text(as<Ambient>(*n).color).c_str());
    }
  }
}

}  // namespace

int cmd_scene_info(const ToolArgs& args) {
  const bool json = args_flag(args, "--json");
  const char* path = args.operands[0].c_str();
  const LoadedScene l = load_scene(path);
  if (l.scene == nullptr) {
    std::fprintf(stderr, "quindle-tool: out of memory\n");
    return 1;
  }
  const Scene& scene = *l.scene;
  if (json) {
    JsonWriter j(stdout);
    j.begin_object();
    json_header(j, l);
    j.key("start_frame").value(double(scene.start_frame));
    j.key("end_frame").value(double(scene.end_frame));
    j.key("visible_face_count").value(scene.visible_face_count);
    j.key("objects").begin_array();
    for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) json_object(j, *n);
    j.end_array();
    j.key("nodes").begin_array();
    for (AnimNode* n = scene.first_anim_node; n != nullptr; n = n->next) json_node(j, *n);
    j.end_array();
    j.end_object();
    j.newline();
  } else {
    print_header(path, l);
    std::printf("frames %g .. %g\nobjects:\n", double(scene.start_frame), double(scene.end_frame));
    for (SceneNode* n = scene.first_object; n != nullptr; n = n->next) print_object(*n);
    std::printf("nodes:\n");
    for (AnimNode* n = scene.first_anim_node; n != nullptr; n = n->next) print_node(*n);
  }
  lib_init(0);
  return l.ok() ? 0 : 1;
}

int cmd_scene_eval(const ToolArgs& args) {
  const bool json = args_flag(args, "--json");
  const char* path = args.operands[0].c_str();
  const std::string* camera_arg = args_value(args, "--camera");
  const char* camera_name = camera_arg ? camera_arg->c_str() : nullptr;
  const std::string* frames_arg = args_value(args, "--frames");
  std::vector<float> frames;
  if (frames_arg == nullptr || !parse_frames(frames_arg->c_str(), frames) || frames.empty()) {
    std::fprintf(stderr, "quindle-tool scene-eval: --frames needs a list of frame numbers such as 0,12.5,100\n");
    return 2;
  }
  const LoadedScene l = load_scene(path);
  if (l.scene == nullptr) {
    std::fprintf(stderr, "quindle-tool: out of memory\n");
    return 1;
  }
  Camera* camera = nullptr;
  if (camera_name != nullptr && (camera = find_camera(camera_name)) == nullptr) {
    std::fprintf(stderr, "quindle-tool: %s has no camera named \"%s\"\n", path, camera_name);
    lib_init(0);
    return 1;
  }
  const Scene& scene = *l.scene;
  JsonWriter j(stdout);
  if (json) {
    j.begin_object();
    json_header(j, l);
    j.key("frames").begin_array();
  } else {
    print_header(path, l);
  }
  for (float frame : frames) {
    const FrameState s = evaluate(frame, camera);
    if (json)
      json_frame(j, scene, s, camera != nullptr);
    else
      print_frame(scene, s, camera != nullptr);
  }
  if (json) {
    j.end_array();
    j.end_object();
    j.newline();
  }
  lib_init(0);
  return l.ok() ? 0 : 1;
}

int cmd_scene_convert(const ToolArgs& args) {
  const char* in = args.operands[0].c_str();
  const char* out = args.operands[1].c_str();
  // Loaded as the show loads it: the file keeps each camera's and light's rest points, so that
  // it reads back to the same state as the original at every frame.
  const LoadedScene l = load_scene(in);
  if (l.scene == nullptr) {
    std::fprintf(stderr, "quindle-tool: out of memory\n");
    return 1;
  }
  if (!l.ok()) {
    std::fprintf(stderr, "quindle-tool: %s: scene stage %d (%s), motion stage %d (%s)\n", in, l.scene_code,
                 scene_code_text(l.scene_code), l.motion_code, scene_code_text(l.motion_code));
    lib_init(0);
    return 1;
  }
  SceneFile file;
  const int rc = write_native_scene(file);  // the loaded scene is the active one
  lib_init(0);
  if (rc != SCENE_OK) {
    std::fprintf(stderr, "quindle-tool: %s: the scene cannot be stored in the native format: %d (%s)\n", in, rc,
                 scene_code_text(rc));
    return 1;
  }
  if (const std::string error = write_file(out, file.bytes); !error.empty()) {
    std::fprintf(stderr, "quindle-tool: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

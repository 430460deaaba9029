// frame_update.h: bringing the active scene to a frame. scene_set_frame chooses the frame,
// scene_update evaluates the tracks into the objects, applies the keyframer hierarchy, builds
// the camera matrices and transforms the meshes. Owns nothing; allocates nothing per frame.
#pragma once

struct Mesh;

// 9 without an active scene or with an empty animation-node list, 8 when end - start is 0;
// otherwise the scene's start and end frame, and 0.
int scene_get_frame_range(float& start, float& end);
// The scene's current frame = frame, 0. 9 and 8 as above; 6 when frame is outside
// [start, end) (the end is excluded), and the current frame keeps its value.
int scene_set_frame(float frame);
// Evaluates every animation node's tracks at the current frame into its object, builds the
// object matrices (scale, then rotation, then position), applies the hierarchy
// (LIB_HIERARCHY), computes every camera's matrix and, with LIB_TRANSFORM, runs
// scene_transform_meshes. An empty track slot leaves its field as it was.
// 9 without an active scene or when either of its lists is empty (nothing changes); else 0.
int scene_update();
// Every mesh of the active scene, hidden ones and dummies included: vertices into the active
// camera's space (world space without an active camera), the bounding box and the vertex and
// face normals into world space, morphing (LIB_MORPH) between the two meshes of its morph
// state. A morph whose source or target is no mesh, or has fewer vertices or faces than the
// morphing mesh, is not applied that frame: the mesh is transformed as if it were not morphing.
void scene_transform_meshes();
// Face and vertex transformed normals derived from the transformed positions, each vertex's
// the normalised mean of its faces' (a face with an index outside the vertices gets (0, 0, 0)
// and counts for no vertex). Linear in the mesh size; its scratch storage is kept for reuse.
void mesh_recompute_normals(Mesh& mesh);

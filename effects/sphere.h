#pragma once
// Procedural sphere meshes: the latitude/longitude grid and its two per-frame deformers.
// Frame thread only.
#include "effects/scene.h"

// Grid of rings x lats vertices plus the south pole (index rings * lats) at the given radius,
// 2 * (lats - 1) * rings faces with texture coordinates scaled by uScale and vScale.
// Builds nothing (counts 0) when the grid would not fit the mesh's capacities.
void SphereGridBuild(Mesh* mesh, float radius, float uScale, float vScale, float rings, float lats);
// Stores the corner indices and the default texture coordinates (0,0), (255,0), (255,255).
void FaceSetCorners(MeshFace* face, int i0, int i1, int i2);
// Stores each coordinate as a float after clamping it to at most 255.
void FaceSetTexCoords(MeshFace* face, int u0, int v0, int u1, int v1, int u2, int v2);
// Stores the object-space position.
void VertexSet(MeshVertex* vertex, float x, float y, float z);

// The sphere the production's scenes (and the gallery, tests and benchmarks) are made of:
// 32 rings of 16 latitudes, texture coordinates scaled 16 x 8, at (0, 0, 500), in a mesh of
// 1024 vertices and faces; the deformers take the same rings and latitudes.
constexpr int kSphereRings = 32;
constexpr int kSphereLats = 16;

// A scene with room for meshCapacity spheres and 4000 draw entries.
void SphereSceneCreate(Scene* scene, int meshCapacity);
// Adds a sphere of the given radius drawn with material (not owned); null when the scene is full.
Mesh* SphereSceneAdd(Scene* scene, float radius, const Material* material);
// Destroys every mesh of the scene, then the scene.
void SphereSceneDestroy(Scene* scene);
// The defaults, then type and both textures, and a cull threshold of 0 (every face turned
// towards the viewer is drawn).
void SphereMaterialInit(Material* material, MaterialType type, const Texture* textureA,
                        const Texture* textureB);

// The program's one field of three blobs in a 256 x 256 parameter plane.
// Sets every blob's radius and weight 1.0 (centres at 0 until animated).
void BlobFieldCreate(float radius);
// Clears the field: every value is then -0.6.
void BlobFieldDestroy();
// Moves the blob centres to their places at time t.
void BlobFieldAnimate(float time);
// Sum of w * (1 - d^2 / r^2)^2 over the blobs that hold (a, b), minus 0.6.
float BlobFieldValue(float a, float b);
// Sets one blob directly (tests and tools); index 0..2.
void BlobFieldSetBlob(int index, float x, float y, float radius, float weight);

// Moves the grid's vertices radially by the animated blob field. Does nothing unless the
// mesh can hold rings * lats + 1 vertices.
void BlobSphereDeform(Mesh* mesh, float baseRadius, int rings, int lats, float amplitude, float time);
// Moves the grid's vertices radially by two travelling waves; same capacity rule.
void WaveSphereDeform(Mesh* mesh, float baseRadius, int rings, int lats, float time,
                      int ringFrequency, int latFrequency, float amplitude1, float amplitude2);

#pragma once
// Meshes, materials and the depth-sorted scene renderer of the 3D engine. Frame thread only.
#include <cstdint>

#include "effects/blend.h"
#include "host/pixels.h"

// What SceneRender draws for a face; any other value draws nothing.
enum MaterialType : int32_t {
    MATERIAL_TEXTURE = 1,          // texture A with (u, v), 256 x 256 texels at least
    MATERIAL_ENVIRONMENT = 2,      // texture B with (s, t), 256 x 256 texels at least
    MATERIAL_GLOW_EDGES = 3,       // glow lines along the flagged edges
    MATERIAL_FLAT = 4,             // T[colour.ch * 256 + face intensity]
    MATERIAL_TEXTURE_LIT = 5,      // T[texel.ch * 256 + face intensity]
    MATERIAL_SPRITE = 6,           // additive sprite of texture B on corner 0
    MATERIAL_TEXTURE_ENV = 7,      // T[A(u, v).ch * 256 + B(s, t).ch]
    MATERIAL_GLOW_SPRITE = 8,      // 3, then 6
    MATERIAL_TEXTURE_OVER = 9,     // T[frame.ch * 256 + texel.ch]
    MATERIAL_COLOUR_OVER = 10,     // T[frame.ch * 256 + colour.ch]
    MATERIAL_GOURAUD = 11,         // T[colour.ch * 256 + i(x, y)]
    MATERIAL_NONE = 12,            // nothing
    MATERIAL_TEXTURE_GOURAUD = 13, // T[texel.ch * 256 + i(x, y)]
};

// Both texture slots hold a Texture; types 1 and 2 read its pixels as a bare 256 x 256
// array and draw nothing unless the texture holds at least 256 x 256 texels.
struct Material {
    int32_t type;
    const Texture* textureA;
    const Texture* textureB;
    int32_t edgeFlags; // bit 0: edge P0-P1, bit 1: P1-P2, bit 2: P2-P0
    float cullThreshold;
    int32_t red, green, blue;
    float spriteScale;
    const BlendTable* blendTable;
};

struct MeshVertex {
    float x, y, z;             // object space, written by the builders
    float viewX, viewY, viewZ; // camera space, every frame
    float normalX, normalY, normalZ; // smoothed, camera space, not re-normalised
    int32_t normalCount;
};

struct MeshFace {
    MeshVertex* corner[3]; // rebuilt from vertexIndex every frame
    float u[3], v[3];      // texels
    float s[3], t[3];      // environment texels, every frame
    float normalX, normalY, normalZ; // unit, camera space, every frame
    int32_t vertexIndex[3];
    const Material* material; // not owned
};

struct Mesh {
    MeshVertex* vertices;
    int32_t vertexCount, vertexCapacity;
    MeshFace* faces;
    int32_t faceCount, faceCapacity;
    int32_t angleX, angleY, angleZ; // 1024ths of a turn
    float positionX, positionY, positionZ;
    float matrix[16]; // row-major, row vectors, translation in 12..14
};

struct DrawEntry {
    uint32_t key; // farther faces have smaller keys
    MeshFace* face;
};

struct Scene {
    Mesh* meshes;
    int32_t meshCount, meshCapacity;
    DrawEntry* drawList;
    int32_t drawCount, drawCapacity;
};

// Type 3, no textures, edge flags 1, threshold -0.4, white, sprite scale 8000, BlendAdd.
void MaterialInitDefaults(Material* material);
// Room for meshCapacity meshes (zeroed, count 0) and drawCapacity draw entries.
void SceneCreate(Scene* scene, int meshCapacity, int drawCapacity);
// Frees the mesh array and the draw list (not the meshes' own arrays) and zeroes the counts.
void SceneDestroy(Scene* scene);
// Creates the next mesh of the scene (MeshCreate) and counts it; null when the scene is full.
Mesh* SceneAddMesh(Scene* scene, int vertexCapacity, int faceCapacity);
// Allocates the arrays (counts 0), zero angles and position, identity matrix.
void MeshCreate(Mesh* mesh, int vertexCapacity, int faceCapacity);
// Frees both arrays and zeroes counts and capacities.
void MeshDestroy(Mesh* mesh);
// Stores each angle masked to 0..1023.
void MeshSetAngles(Mesh* mesh, int ax, int ay, int az);
void MeshSetPosition(Mesh* mesh, float x, float y, float z);
// Points every face's material at the given one.
void MeshSetMaterial(Mesh* mesh, const Material* material);
// Matrix = rotation x, then y, then z, then translation, from the mesh's angles and position.
void MeshBuildMatrix(Mesh* mesh);
// Transforms, lights, culls, sorts back to front and draws every mesh into target with the
// projection centre at (centreX, centreY). Borrows the sort buffer from the scratch pool.
void SceneRender(Scene* scene, const Surface* target, int centreX, int centreY);

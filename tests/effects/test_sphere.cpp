// Sphere grids, the blob field and the two deformers.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/sphere.h"
#include "host/trig.h"
#include "tests/effects/effects_fixture.h"

namespace {
struct GridMesh {
    Mesh mesh;
    GridMesh(int vertices = 1024, int faces = 1024) { MeshCreate(&mesh, vertices, faces); }
    ~GridMesh() { MeshDestroy(&mesh); }
};

float Radius(const MeshVertex& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
} // namespace

TEST(Sphere, GridCountsAndFaceIndices)
{
    GridMesh g;
    SphereGridBuild(&g.mesh, 180, 16, 8, 32, 16);
    ASSERT_EQ(g.mesh.vertexCount, 513);
    ASSERT_EQ(g.mesh.faceCount, 960);
    const MeshFace& f0 = g.mesh.faces[0];
    EXPECT_EQ(f0.vertexIndex[0], 17);
    EXPECT_EQ(f0.vertexIndex[1], 2);
    EXPECT_EQ(f0.vertexIndex[2], 1);
    const MeshFace& f479 = g.mesh.faces[479];
    EXPECT_EQ(f479.vertexIndex[0], 15);
    EXPECT_EQ(f479.vertexIndex[1], 512);
    EXPECT_EQ(f479.vertexIndex[2], 511);
    // Face 480 opens the second band at lat 0, ring 0: (1, ring 0), the pole vertex 0, (1, ring 1).
    const MeshFace& f480 = g.mesh.faces[480];
    EXPECT_EQ(f480.vertexIndex[0], 1);
    EXPECT_EQ(f480.vertexIndex[1], 0);
    EXPECT_EQ(f480.vertexIndex[2], 17);
    for (int i = 0; i < g.mesh.faceCount; i++)
        for (int k = 0; k < 3; k++)
            ASSERT_LT(g.mesh.faces[i].vertexIndex[k], 513);
}

TEST(Sphere, GridPositionsAndTextureCoordinates)
{
    GridMesh g;
    SphereGridBuild(&g.mesh, 180, 16, 8, 32, 16);
    const MeshVertex* v = g.mesh.vertices;
    for (int ring = 0; ring < 32; ring++)
        EXPECT_EQ(v[ring * 16].y, 180.0f); // every lat 0 vertex on the north pole
    EXPECT_EQ(v[512].y, -180.0f);
    // ring 8 (a quarter turn), lat 8 (a quarter turn): (rho sin a sin b, rho cos b, rho cos a sin b)
    const MeshVertex& q = v[8 * 16 + 8];
    EXPECT_NEAR(q.x, 180.0f, 1e-3);
    EXPECT_NEAR(q.y, 0.0f, 1e-3);
    EXPECT_NEAR(q.z, 0.0f, 1e-3);
    for (int i = 0; i < g.mesh.vertexCount; i++)
        ASSERT_NEAR(Radius(v[i]), 180.0f, 1e-3);
    // Face 479 (lat 15, ring 31): u = 15*16, 16*16 = 256 -> 255, v = 32*8 = 256 -> 255 and 31*8.
    const MeshFace& f = g.mesh.faces[479];
    EXPECT_EQ(f.u[0], 240.0f);
    EXPECT_EQ(f.v[0], 255.0f);
    EXPECT_EQ(f.u[1], 255.0f);
    EXPECT_EQ(f.v[1], 248.0f);
    EXPECT_EQ(f.u[2], 240.0f);
    EXPECT_EQ(f.v[2], 248.0f);
}

TEST(Sphere, GridThatDoesNotFitBuildsNothing)
{
    GridMesh g(100, 100);
    SphereGridBuild(&g.mesh, 180, 16, 8, 32, 16);
    EXPECT_EQ(g.mesh.vertexCount, 0);
    EXPECT_EQ(g.mesh.faceCount, 0);
    BlobSphereDeform(&g.mesh, 180, 32, 16, 100, 1.0f);
    WaveSphereDeform(&g.mesh, 180, 32, 16, 1.0f, 2, 3, 80, 30);
    EXPECT_EQ(g.mesh.vertexCount, 0);
}

TEST(Sphere, FaceHelpers)
{
    MeshFace f{};
    FaceSetCorners(&f, 4, 5, 6);
    EXPECT_EQ(f.vertexIndex[2], 6);
    EXPECT_EQ(f.u[1], 255.0f);
    EXPECT_EQ(f.v[1], 0.0f);
    EXPECT_EQ(f.v[2], 255.0f);
    FaceSetTexCoords(&f, 256, -3, 1000, 7, 255, 0);
    EXPECT_EQ(f.u[0], 255.0f);
    EXPECT_EQ(f.v[0], -3.0f); // no lower clamp
    EXPECT_EQ(f.u[1], 255.0f);
    EXPECT_EQ(f.v[1], 7.0f);
    MeshVertex v{};
    VertexSet(&v, 1, 2, 3);
    EXPECT_EQ(v.z, 3.0f);
}

TEST(Sphere, BlobFieldValues)
{
    BlobFieldCreate(80.0f);
    BlobFieldSetBlob(0, 100, 100, 80, 1);
    BlobFieldSetBlob(1, 1000, 1000, 80, 1);
    BlobFieldSetBlob(2, -1000, 1000, 80, 1);
    EXPECT_FLOAT_EQ(BlobFieldValue(100, 100), 0.4f);
    EXPECT_FLOAT_EQ(BlobFieldValue(500, 500), -0.6f);
    EXPECT_FLOAT_EQ(BlobFieldValue(100, 180), -0.6f); // d = r is outside
    // Half-way out: (1 - 1/4)^2 = 0.5625.
    EXPECT_FLOAT_EQ(BlobFieldValue(140, 100), 0.5625f - 0.6f);
    BlobFieldSetBlob(1, 100, 100, 80, 2);
    EXPECT_FLOAT_EQ(BlobFieldValue(100, 100), 2.4f);
    BlobFieldAnimate(0.0f);
    // t = 0: blob 0 at (128, 192), blob 1 at (192, 128), blob 2 at (192, 192).
    // Blob 1 (192, 128) is out of reach (d^2 = 8192); blob 2 (192, 192) adds (1 - 4096/6400)^2.
    EXPECT_NEAR(BlobFieldValue(128, 192), 1.0f + 0.36f * 0.36f - 0.6f, 1e-5);
    BlobFieldDestroy();
    EXPECT_FLOAT_EQ(BlobFieldValue(128, 192), -0.6f);
}

TEST(Sphere, BlobDeformWithBlobsOutOfReach)
{
    GridMesh g;
    SphereGridBuild(&g.mesh, 180, 16, 8, 32, 16);
    BlobFieldCreate(0.0f); // no grid point is inside a blob
    BlobSphereDeform(&g.mesh, 180, 32, 16, 100, 12.5f);
    for (int i = 0; i < 513; i++)
        ASSERT_NEAR(Radius(g.mesh.vertices[i]), 120.0f, 1e-3) << i;
    EXPECT_EQ(g.mesh.vertices[512].y, -120.0f);
    BlobFieldCreate(80.0f);
    BlobSphereDeform(&g.mesh, 180, 32, 16, 100, 12.5f);
    float lo = 1e9f, hi = 0;
    for (int i = 0; i < 512; i++) {
        float r = Radius(g.mesh.vertices[i]);
        ASSERT_NEAR(r, std::round(r), 2e-3); // whole-number radii
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    EXPECT_GE(lo, 120.0f - 1e-3);
    EXPECT_GT(hi, 120.5f);
    BlobFieldDestroy();
}

TEST(Sphere, WaveDeform)
{
    GridMesh g;
    SphereGridBuild(&g.mesh, 200, 16, 8, 32, 16);
    WaveSphereDeform(&g.mesh, 200, 32, 16, 0.0f, 2, 3, 80, 30);
    for (int i = 0; i < 513; i++)
        ASSERT_NEAR(Radius(g.mesh.vertices[i]), 200.0f, 1e-3);
    // t = 1: phases sin[12] and sin[17]; vertex (ring 3, lat 5).
    WaveSphereDeform(&g.mesh, 200, 32, 16, 1.0f, 2, 3, 80, 30);
    float w1 = SineTable[(2 * 32 * 3) & 1023] * SineTable[12];
    float w2 = CosineTable[(3 * 32 * 5) & 1023] * SineTable[17];
    int rho = (int)(200.0f + 80.0f * w1 - 30.0f * w2);
    EXPECT_NEAR(Radius(g.mesh.vertices[3 * 16 + 5]), (float)rho, 1e-3);
    EXPECT_EQ(g.mesh.vertices[512].y, -200.0f);
}

// Meshes are added in order up to the capacity; each is the 960-face grid at z 500 with its
// material, and the deformers fit it.
TEST(Sphere, SceneBuilderAddsMeshesUntilFull)
{
    Material a, b;
    SphereMaterialInit(&a, MATERIAL_TEXTURE_ENV, nullptr, nullptr);
    SphereMaterialInit(&b, MATERIAL_GLOW_SPRITE, nullptr, nullptr);
    EXPECT_EQ(a.type, MATERIAL_TEXTURE_ENV);
    EXPECT_EQ(a.cullThreshold, 0.0f);
    Scene scene;
    SphereSceneCreate(&scene, 2);
    EXPECT_EQ(scene.drawCapacity, 4000);
    Mesh* first = SphereSceneAdd(&scene, 180, &a);
    Mesh* second = SphereSceneAdd(&scene, 200, &b);
    EXPECT_EQ(SphereSceneAdd(&scene, 220, &a), nullptr);
    ASSERT_EQ(scene.meshCount, 2);
    EXPECT_EQ(first, &scene.meshes[0]);
    EXPECT_EQ(second, &scene.meshes[1]);
    for (const Mesh* mesh : {first, second}) {
        EXPECT_EQ(mesh->vertexCapacity, 1024);
        EXPECT_EQ(mesh->faceCount, 960);
        EXPECT_EQ(mesh->positionZ, 500.0f);
    }
    EXPECT_EQ(first->faces[959].material, &a);
    EXPECT_EQ(second->faces[0].material, &b);
    EXPECT_NEAR(Radius(second->vertices[kSphereRings * kSphereLats]), 200.0f, 1e-3);
    WaveSphereDeform(second, 200, kSphereRings, kSphereLats, 0.0f, 2, 3, 80, 30);
    EXPECT_NEAR(Radius(second->vertices[100]), 200.0f, 1e-3);
    SphereSceneDestroy(&scene);
    EXPECT_EQ(scene.meshes, nullptr);
}

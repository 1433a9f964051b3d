// Meshes and scene rendering: matrix, normals, environment coordinates, culling, sorting,
// projection and dispatch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/scene.h"
#include "host/scratch.h"
#include "tests/effects/effects_fixture.h"

namespace {
// A scene of one mesh with room for a handful of faces.
struct OneMesh {
    Scene scene;
    Mesh* mesh;

    explicit OneMesh(int drawCapacity = 16, int faces = 16)
    {
        SceneCreate(&scene, 1, drawCapacity);
        mesh = SceneAddMesh(&scene, 64, faces);
    }
    ~OneMesh()
    {
        MeshDestroy(mesh);
        SceneDestroy(&scene);
    }
    int Vertex(float x, float y, float z)
    {
        MeshVertex* v = &mesh->vertices[mesh->vertexCount];
        *v = MeshVertex{};
        v->x = x;
        v->y = y;
        v->z = z;
        return mesh->vertexCount++;
    }
    MeshFace* Face(int a, int b, int c, const Material* m)
    {
        MeshFace* f = &mesh->faces[mesh->faceCount++];
        *f = MeshFace{};
        f->vertexIndex[0] = a;
        f->vertexIndex[1] = b;
        f->vertexIndex[2] = c;
        f->material = m;
        return f;
    }
    // A triangle at depth z with normal +z (drawn at the default threshold) whose area holds
    // the projection centre.
    MeshFace* Facing(float z, const Material* m, float size = 40.0f)
    {
        int a = Vertex(-size, -size, z), b = Vertex(3 * size, -size, z), c = Vertex(-size, 3 * size, z);
        return Face(a, b, c, m);
    }
};

Material Flat(int r, int g, int b)
{
    Material m;
    MaterialInitDefaults(&m);
    m.type = MATERIAL_FLAT;
    m.red = r;
    m.green = g;
    m.blue = b;
    m.blendTable = BlendFirst;
    return m;
}
} // namespace

TEST(Scene, MaterialDefaults)
{
    Material m;
    MaterialInitDefaults(&m);
    EXPECT_EQ(m.type, 3);
    EXPECT_EQ(m.textureA, nullptr);
    EXPECT_EQ(m.textureB, nullptr);
    EXPECT_EQ(m.edgeFlags, 1);
    EXPECT_FLOAT_EQ(m.cullThreshold, -0.4f);
    EXPECT_EQ(m.red + m.green + m.blue, 765);
    EXPECT_FLOAT_EQ(m.spriteScale, 8000.0f);
    EXPECT_EQ(m.blendTable, BlendAdd);
}

TEST(Scene, MatrixAppliesXThenYThenZThenTranslation)
{
    Mesh mesh;
    MeshCreate(&mesh, 1, 1);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(mesh.matrix[i], i % 5 == 0 ? 1.0f : 0.0f);
    MeshSetAngles(&mesh, 1024 + 256, 2048, -1024);
    EXPECT_EQ(mesh.angleX, 256);
    EXPECT_EQ(mesh.angleY, 0);
    EXPECT_EQ(mesh.angleZ, 0);
    // A quarter turn about x takes +y to +z (row (0, c, s)); then move by (1, 2, 3).
    MeshSetPosition(&mesh, 1, 2, 3);
    MeshBuildMatrix(&mesh);
    const float* m = mesh.matrix;
    EXPECT_NEAR(0 * m[0] + 1 * m[4] + 0 * m[8] + m[12], 1.0f, 1e-6);
    EXPECT_NEAR(0 * m[1] + 1 * m[5] + 0 * m[9] + m[13], 2.0f, 1e-6);
    EXPECT_NEAR(0 * m[2] + 1 * m[6] + 0 * m[10] + m[14], 4.0f, 1e-6);
    // x then y: +y -> +z (x) -> +x (quarter turn about y takes z to (s, 0, c)).
    MeshSetAngles(&mesh, 256, 256, 0);
    MeshSetPosition(&mesh, 0, 0, 0);
    MeshBuildMatrix(&mesh);
    EXPECT_NEAR(m[4], 1.0f, 1e-6);
    EXPECT_NEAR(m[5], 0.0f, 1e-6);
    EXPECT_NEAR(m[6], 0.0f, 1e-6);
    MeshDestroy(&mesh);
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.vertexCapacity, 0);
}

TEST(Scene, NormalsEnvironmentAndKeys)
{
    OneMesh s;
    TestSurface target(320, 200);
    Material m = Flat(1, 2, 3);
    MeshFace* f = s.Facing(100.0f, &m);
    int lonely = s.Vertex(5, 5, 5);
    int p = s.Vertex(1, 1, 50);
    MeshFace* degenerate = s.Face(p, p, p, &m);
    SceneRender(&s.scene, &target, 160, 100);
    EXPECT_EQ(f->normalZ, 1.0f);
    EXPECT_EQ(f->normalX, 0.0f);
    // Every vertex of f is shared with no other face: its smoothed normal is the face's.
    EXPECT_EQ(f->corner[0]->normalZ, 1.0f);
    EXPECT_EQ(f->corner[0]->normalCount, 1);
    EXPECT_EQ(f->s[0], 128.0f);
    EXPECT_EQ(f->t[0], 128.0f);
    EXPECT_EQ(s.mesh->vertices[lonely].normalCount, 0);
    EXPECT_EQ(s.mesh->vertices[lonely].normalZ, 0.0f);
    // The degenerate face keeps a zero normal, passes the default threshold and counts 3 times.
    EXPECT_EQ(degenerate->normalZ, 0.0f);
    EXPECT_EQ(s.mesh->vertices[p].normalCount, 3);
    ASSERT_EQ(s.scene.drawCount, 2);
    EXPECT_EQ(s.scene.drawList[0].key, 1280000u - 100u);
    EXPECT_EQ(s.scene.drawList[1].key, 1280000u - 50u);
    EXPECT_EQ(target.At(160, 100), 0x010203u);
    EXPECT_EQ(ScratchPoolState().top, 0u);
}

TEST(Scene, EnvironmentCoordinatesFromSmoothedNormals)
{
    OneMesh s;
    TestSurface target(320, 200);
    Material m = Flat(1, 2, 3);
    // A face tilted so its normal has x and y parts.
    int a = s.Vertex(0, 0, 100), b = s.Vertex(0, 10, 110), c = s.Vertex(10, 0, 110);
    MeshFace* f = s.Face(a, b, c, &m);
    SceneRender(&s.scene, &target, 160, 100);
    float nx = f->normalX, ny = f->normalY;
    EXPECT_EQ(f->s[1], (float)(int)(nx * 104.0f + 128.0f));
    EXPECT_EQ(f->t[2], (float)(int)(ny * 104.0f + 128.0f));
    EXPECT_NEAR(nx * nx + ny * ny + f->normalZ * f->normalZ, 1.0f, 1e-5);
}

TEST(Scene, CullingByThreshold)
{
    struct Case {
        float threshold;
        bool minusZ; // normal towards -z
        int drawn;
    } cases[] = {{-0.4f, false, 1}, {-0.4f, true, 0}, {0.0f, true, 0}, {0.0f, false, 1}, {-1.0f, true, 1}};
    for (const Case& k : cases) {
        OneMesh s;
        TestSurface target(64, 64);
        Material m = Flat(9, 9, 9);
        m.cullThreshold = k.threshold;
        int a = s.Vertex(-4, -4, 50), b = s.Vertex(-4, 4, 50), c = s.Vertex(4, -4, 50);
        if (k.minusZ)
            s.Face(a, b, c, &m);
        else
            s.Face(a, c, b, &m);
        SceneRender(&s.scene, &target, 32, 32);
        EXPECT_EQ(s.scene.drawCount, k.drawn) << k.threshold << " " << k.minusZ;
    }
}

TEST(Scene, EdgeOnFaceIsDrawnAtThresholdZero)
{
    OneMesh s;
    TestSurface target(64, 64);
    Material m = Flat(9, 9, 9);
    m.cullThreshold = 0.0f;
    int a = s.Vertex(0, 0, 10), b = s.Vertex(0, 10, 10), c = s.Vertex(0, 0, 20);
    MeshFace* f = s.Face(a, b, c, &m);
    SceneRender(&s.scene, &target, 32, 32);
    EXPECT_EQ(f->normalZ, 0.0f);
    EXPECT_EQ(s.scene.drawCount, 1);
}

TEST(Scene, FarthestFirstAndTiesInMeshThenFaceOrder)
{
    OneMesh s;
    TestSurface target(64, 64);
    Material near = Flat(0, 0, 1), far = Flat(0, 0, 2), tieA = Flat(0, 0, 3), tieB = Flat(0, 0, 4);
    s.Facing(50.0f, &near, 4.0f);
    s.Facing(400.0f, &far, 100.0f); // listed later, drawn first
    SceneRender(&s.scene, &target, 32, 32);
    EXPECT_EQ(target.At(32, 32), 1u);

    OneMesh t;
    t.Facing(80.0f, &tieA);
    t.Facing(80.0f, &tieB);
    SceneRender(&t.scene, &target, 32, 32);
    EXPECT_EQ(target.At(32, 32), 4u);
}

TEST(Scene, RadixSortOrdersEveryByteStably)
{
    // Keys differing in every byte; in the low byte only (one pass, an odd number); in the
    // two low bytes; not at all (no pass).
    const std::vector<std::vector<float>> sets = {
        {70000, 5, 300, 1e6f, 300, 1234.5f, 66000, 5, 99999, 256, 255, 65536},
        {300, 301, 299.5f, 300, 310, 301, 305},
        {300, 40000, 300, 1000, 20000, 1000},
        {77, 77, 77, 77},
    };
    for (const std::vector<float>& depths : sets) {
        OneMesh s(64, 64);
        TestSurface target(32, 32);
        Material m = Flat(1, 1, 1);
        m.type = MATERIAL_NONE;
        for (float z : depths)
            s.Facing(z, &m, 1.0f);
        SceneRender(&s.scene, &target, 16, 16);
        ASSERT_EQ(s.scene.drawCount, (int)depths.size());
        std::vector<const MeshFace*> faces;
        for (int i = 0; i < s.scene.drawCount; i++)
            faces.push_back(s.scene.drawList[i].face);
        std::sort(faces.begin(), faces.end());
        ASSERT_EQ(std::unique(faces.begin(), faces.end()), faces.end()) << depths.size();
        for (int i = 1; i < s.scene.drawCount; i++) {
            const DrawEntry& a = s.scene.drawList[i - 1];
            const DrawEntry& b = s.scene.drawList[i];
            ASSERT_LE(a.key, b.key);
            if (a.key == b.key) {
                ASSERT_LT(a.face, b.face);
            }
        }
        for (uint32_t p : target.pixels)
            ASSERT_EQ(p, 0u); // type 12 is sorted but draws nothing
    }
}

TEST(Scene, DrawListCapacityAndPointsBehindTheCamera)
{
    OneMesh s(2);
    TestSurface target(64, 64);
    Material m = Flat(7, 7, 7);
    s.Facing(60.0f, &m);
    s.Facing(50.0f, &m);
    s.Facing(40.0f, &m); // beyond the list's capacity: dropped
    SceneRender(&s.scene, &target, 32, 32);
    EXPECT_EQ(s.scene.drawCount, 2);

    OneMesh b;
    TestSurface t2(64, 64);
    b.Facing(0.0f, &m);
    int p = b.Vertex(0, 0, -5), q = b.Vertex(0, 10, 20), r = b.Vertex(10, 0, 20);
    b.Face(p, q, r, &m);
    b.Facing(1e-30f, &m, 1e6f); // projects far outside: clamped, clipped
    SceneRender(&b.scene, &t2, 32, 32);
    EXPECT_EQ(t2.At(0, 0), 0x070707u);
}

TEST(Scene, UnknownTypesAndMissingResourcesDrawNothing)
{
    Material m = Flat(5, 5, 5);
    for (int type : {0, 12, 14, -3, 1, 2, 5, 6, 7, 9, 13}) {
        m.type = type; // the textured ones have no texture here
        OneMesh s;
        TestSurface target(64, 64);
        s.Facing(50.0f, &m);
        SceneRender(&s.scene, &target, 32, 32);
        for (uint32_t p : target.pixels)
            ASSERT_EQ(p, 0u) << type;
    }
}

TEST(Scene, EveryAreaTypeFillsTheCentre)
{
    TestTexture tex(256, 256, [](int x, int y) { return 0xFF000000u | (uint32_t)x << 16 | (uint32_t)y; });
    TestTexture small(64, 64, [](int, int) { return 0x00808080u; });
    for (int type : {1, 2, 4, 5, 7, 9, 10, 11, 13}) {
        Material m = Flat(200, 100, 50);
        m.type = type;
        m.textureA = &tex;
        m.textureB = &tex;
        m.blendTable = BlendAdd;
        OneMesh s;
        TestSurface target(64, 64, 0x00010101);
        MeshFace* f = s.Facing(50.0f, &m);
        for (int k = 0; k < 3; k++) {
            f->u[k] = 10.0f;
            f->v[k] = 20.0f;
        }
        SceneRender(&s.scene, &target, 32, 32);
        EXPECT_NE(target.At(32, 32), 0x00010101u) << type;
        // Types 1 and 2 need a full 256 x 256 array; a smaller texture draws nothing.
        if (type == 1 || type == 2) {
            m.textureA = m.textureB = &small;
            TestSurface t2(64, 64, 3);
            SceneRender(&s.scene, &t2, 32, 32);
            EXPECT_EQ(t2.At(32, 32), 3u);
        }
    }
}

TEST(Scene, GlowEdgesAndSprites)
{
    TestTexture spot(256, 256, [](int, int) { return 0x00202020u; });
    Material m;
    MaterialInitDefaults(&m);
    m.type = MATERIAL_GLOW_SPRITE;
    m.edgeFlags = 7;
    m.textureB = &spot;
    m.spriteScale = 400.0f; // 8 pixels at z = 50
    OneMesh s;
    TestSurface target(64, 64);
    s.Facing(50.0f, &m, 5.0f); // corner 0 at (6, 6), edge 0 along row 6
    SceneRender(&s.scene, &target, 32, 32);
    EXPECT_NE(target.At(20, 6), 0u);
    int lit = 0;
    for (uint32_t p : target.pixels)
        lit += p != 0;
    EXPECT_GT(lit, 0);
    m.type = MATERIAL_SPRITE;
    m.spriteScale = 1e9f; // clamped to 255
    TestSurface t2(64, 64);
    OneMesh near;
    near.Facing(50.0f, &m, 1.0f);
    SceneRender(&near.scene, &t2, 32, 32);
    EXPECT_EQ(t2.At(0, 0), 0x00202020u);
    m.spriteScale = 10.0f; // below one pixel: nothing
    TestSurface t3(64, 64);
    SceneRender(&near.scene, &t3, 32, 32);
    for (uint32_t p : t3.pixels)
        ASSERT_EQ(p, 0u);
}

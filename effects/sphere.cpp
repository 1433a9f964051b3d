#include "effects/sphere.h"

#include <cmath>

#include "effects/local.h"
#include "host/trig.h"

namespace {
struct Blob {
    float x, y, radius, weight;
};
// The blob field; frame thread (created and destroyed by the main thread around it).
struct BlobFieldState {
    Blob blobs[3];
};
} // namespace

static BlobFieldState gField;

static void GridVertex(MeshVertex* vertex, float rho, int ringAngle, int latAngle)
{
    float sa = SineTable[ringAngle & 1023], ca = CosineTable[ringAngle & 1023];
    float sb = SineTable[latAngle & 1023], cb = CosineTable[latAngle & 1023];
    VertexSet(vertex, rho * sa * sb, rho * cb, rho * ca * sb);
}

// The grid's sizes if they fit the mesh, else false.
static bool GridFits(const Mesh* mesh, int rings, int lats, bool withFaces)
{
    if (rings <= 0 || lats <= 0 || rings > 4096 || lats > 4096)
        return false;
    int64_t vertices = (int64_t)rings * lats + 1;
    int64_t faces = 2 * (int64_t)(lats - 1) * rings;
    return vertices <= mesh->vertexCapacity && (!withFaces || faces <= mesh->faceCapacity);
}

void SphereSceneCreate(Scene* scene, int meshCapacity)
{
    SceneCreate(scene, meshCapacity, 4000);
}

Mesh* SphereSceneAdd(Scene* scene, float radius, const Material* material)
{
    Mesh* mesh = SceneAddMesh(scene, 1024, 1024);
    if (!mesh)
        return nullptr;
    SphereGridBuild(mesh, radius, 16, 8, kSphereRings, kSphereLats);
    MeshSetMaterial(mesh, material);
    MeshSetPosition(mesh, 0, 0, 500);
    return mesh;
}

void SphereSceneDestroy(Scene* scene)
{
    for (int i = 0; i < scene->meshCount && i < scene->meshCapacity; i++)
        MeshDestroy(&scene->meshes[i]);
    SceneDestroy(scene);
}

void SphereMaterialInit(Material* material, MaterialType type, const Texture* textureA,
                        const Texture* textureB)
{
    MaterialInitDefaults(material);
    material->type = type;
    material->textureA = textureA;
    material->textureB = textureB;
    material->cullThreshold = 0.0f;
}

void FaceSetCorners(MeshFace* face, int i0, int i1, int i2)
{
    face->vertexIndex[0] = i0;
    face->vertexIndex[1] = i1;
    face->vertexIndex[2] = i2;
    FaceSetTexCoords(face, 0, 0, 255, 0, 255, 255);
}

void FaceSetTexCoords(MeshFace* face, int u0, int v0, int u1, int v1, int u2, int v2)
{
    const int u[3] = {u0, u1, u2}, v[3] = {v0, v1, v2};
    for (int k = 0; k < 3; k++) {
        face->u[k] = (float)(u[k] > 255 ? 255 : u[k]);
        face->v[k] = (float)(v[k] > 255 ? 255 : v[k]);
    }
}

void VertexSet(MeshVertex* vertex, float x, float y, float z)
{
    vertex->x = x;
    vertex->y = y;
    vertex->z = z;
}

void SphereGridBuild(Mesh* mesh, float radius, float uScale, float vScale, float rings, float lats)
{
    int R = EffectTrunc(rings), L = EffectTrunc(lats);
    mesh->vertexCount = 0;
    mesh->faceCount = 0;
    if (!GridFits(mesh, R, L, true))
        return;
    int step = 1024 / R;
    for (int ring = 0; ring < R; ring++)
        for (int lat = 0; lat < L; lat++)
            GridVertex(&mesh->vertices[ring * L + lat], radius, ring * step, lat * step);
    int pole = R * L;
    VertexSet(&mesh->vertices[pole], 0.0f, -radius, 0.0f);
    mesh->vertexCount = pole + 1;
    auto scaled = [](int n, float scale) { return EffectTrunc((float)n * scale); };
    MeshFace* face = mesh->faces;
    for (int lat = 1; lat < L; lat++) {
        for (int ring = 0; ring < R; ring++, face++) {
            int next = ring == R - 1 ? 0 : ring + 1;
            int below = lat == L - 1 ? pole : ring * L + lat + 1;
            FaceSetCorners(face, next * L + lat, below, ring * L + lat);
            FaceSetTexCoords(face, scaled(lat, uScale), scaled(ring + 1, vScale),
                             scaled(lat + 1, uScale), scaled(ring, vScale), scaled(lat, uScale),
                             scaled(ring, vScale));
        }
    }
    for (int lat = 0; lat < L - 1; lat++) {
        for (int ring = 0; ring < R; ring++, face++) {
            int next = ring == R - 1 ? 0 : ring + 1;
            FaceSetCorners(face, ring * L + lat + 1, lat == 0 ? 0 : next * L + lat,
                           next * L + lat + 1);
            FaceSetTexCoords(face, scaled(lat + 1, uScale), scaled(ring, vScale),
                             scaled(lat, uScale), scaled(ring + 1, vScale),
                             scaled(lat + 1, uScale), scaled(ring + 1, vScale));
        }
    }
    mesh->faceCount = (int32_t)(face - mesh->faces);
}

void BlobFieldCreate(float radius)
{
    for (Blob& b : gField.blobs)
        b = Blob{0.0f, 0.0f, radius, 1.0f};
}

void BlobFieldDestroy()
{
    gField = BlobFieldState{};
}

void BlobFieldSetBlob(int index, float x, float y, float radius, float weight)
{
    if (index >= 0 && index < 3)
        gField.blobs[index] = Blob{x, y, radius, weight};
}

void BlobFieldAnimate(float t)
{
    Blob* b = gField.blobs;
    b[0].x = (float)(64.0 * std::sin((double)(t / 11.0f)) + 128.0);
    b[0].y = (float)(64.0 * std::cos((double)(t / 12.0f)) + 128.0);
    b[1].x = (float)(64.0 * std::cos((double)(t / 8.0f)) + 128.0);
    b[1].y = (float)(64.0 * std::sin((double)(t / 13.0f)) + 128.0);
    b[2].x = (float)(64.0 * std::cos((double)(t / 9.0f)) + 128.0);
    b[2].y = (float)(64.0 * std::cos((double)(t / 7.0f)) + 128.0);
}

float BlobFieldValue(float a, float b)
{
    float sum = 0.0f;
    for (const Blob& blob : gField.blobs) {
        float dx = a - blob.x, dy = b - blob.y;
        float d2 = dx * dx + dy * dy, r2 = blob.radius * blob.radius;
        if (d2 < r2) {
            float f = 1.0f - d2 / r2;
            sum += blob.weight * f * f;
        }
    }
    return sum - 0.6f;
}

void BlobSphereDeform(Mesh* mesh, float baseRadius, int rings, int lats, float amplitude, float time)
{
    if (!GridFits(mesh, rings, lats, false))
        return;
    BlobFieldAnimate(time);
    int step = 1024 / rings, ringSpan = 256 / rings, latSpan = 256 / lats;
    int rho = 0;
    for (int ring = 0; ring < rings; ring++) {
        for (int lat = 0; lat < lats; lat++) {
            float value = BlobFieldValue((float)(ring * ringSpan), (float)(lat * latSpan));
            rho = EffectTrunc(baseRadius + amplitude * value);
            GridVertex(&mesh->vertices[ring * lats + lat], (float)rho, ring * step, lat * step);
        }
    }
    VertexSet(&mesh->vertices[rings * lats], 0.0f, -(float)rho, 0.0f);
    mesh->vertexCount = rings * lats + 1;
}

void WaveSphereDeform(Mesh* mesh, float baseRadius, int rings, int lats, float time,
                      int ringFrequency, int latFrequency, float amplitude1, float amplitude2)
{
    if (!GridFits(mesh, rings, lats, false))
        return;
    int step = 1024 / rings;
    float ringPhase = SineTable[EffectTrunc(time * 12.0f) & 1023];
    float latPhase = SineTable[EffectTrunc(time * 17.0f) & 1023];
    for (int ring = 0; ring < rings; ring++) {
        for (int lat = 0; lat < lats; lat++) {
            float wave1 = SineTable[((unsigned)ringFrequency * step * ring) & 1023] * ringPhase;
            float wave2 = CosineTable[((unsigned)latFrequency * step * lat) & 1023] * latPhase;
            int rho = EffectTrunc(baseRadius + amplitude1 * wave1 - amplitude2 * wave2);
            GridVertex(&mesh->vertices[ring * lats + lat], (float)rho, ring * step, lat * step);
        }
    }
    VertexSet(&mesh->vertices[rings * lats], 0.0f, -baseRadius, 0.0f);
    mesh->vertexCount = rings * lats + 1;
}

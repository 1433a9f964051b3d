#include "effects/scene.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "effects/fill.h"
#include "effects/glow.h"
#include "effects/local.h"
#include "host/trig.h"
#include "host/scratch.h"

// Scenes, meshes and materials belong to the frame thread once set-up has built them.

static const float kFocal = 256.0f;
static const float kKeyBase = 1280000.0f;
// Projected coordinates are held within this range so the fillers' arithmetic stays exact.
static const int kScreenLimit = 1 << 15;

// Counts as far as the arrays hold them: a count set past its capacity is not trusted.
static int Vertices(const Mesh* mesh)
{
    return EffectClamp(mesh->vertexCount, 0, mesh->vertexCapacity);
}

static int Faces(const Mesh* mesh)
{
    return EffectClamp(mesh->faceCount, 0, mesh->faceCapacity);
}

static int Meshes(const Scene* scene)
{
    return EffectClamp(scene->meshCount, 0, scene->meshCapacity);
}

void MaterialInitDefaults(Material* material)
{
    material->type = MATERIAL_GLOW_EDGES;
    material->textureA = nullptr;
    material->textureB = nullptr;
    material->edgeFlags = 1;
    material->cullThreshold = -0.4f;
    material->red = material->green = material->blue = 255;
    material->spriteScale = 8000.0f;
    material->blendTable = BlendAdd;
}

void SceneCreate(Scene* scene, int meshCapacity, int drawCapacity)
{
    meshCapacity = meshCapacity > 0 ? meshCapacity : 0;
    drawCapacity = drawCapacity > 0 ? drawCapacity : 0;
    scene->meshes = (Mesh*)std::calloc(meshCapacity ? meshCapacity : 1, sizeof(Mesh));
    scene->meshCount = 0;
    scene->meshCapacity = meshCapacity;
    scene->drawList = (DrawEntry*)std::calloc(drawCapacity ? drawCapacity : 1, sizeof(DrawEntry));
    scene->drawCount = 0;
    scene->drawCapacity = drawCapacity;
}

void SceneDestroy(Scene* scene)
{
    std::free(scene->meshes);
    std::free(scene->drawList);
    std::memset(scene, 0, sizeof(*scene));
}

Mesh* SceneAddMesh(Scene* scene, int vertexCapacity, int faceCapacity)
{
    if (scene->meshCount < 0 || scene->meshCount >= scene->meshCapacity)
        return nullptr;
    Mesh* mesh = &scene->meshes[scene->meshCount++];
    MeshCreate(mesh, vertexCapacity, faceCapacity);
    return mesh;
}

void MeshCreate(Mesh* mesh, int vertexCapacity, int faceCapacity)
{
    std::memset(mesh, 0, sizeof(*mesh));
    vertexCapacity = vertexCapacity > 0 ? vertexCapacity : 0;
    faceCapacity = faceCapacity > 0 ? faceCapacity : 0;
    mesh->vertices = (MeshVertex*)std::calloc(vertexCapacity ? vertexCapacity : 1, sizeof(MeshVertex));
    mesh->vertexCapacity = vertexCapacity;
    mesh->faces = (MeshFace*)std::calloc(faceCapacity ? faceCapacity : 1, sizeof(MeshFace));
    mesh->faceCapacity = faceCapacity;
    MeshBuildMatrix(mesh);
}

void MeshDestroy(Mesh* mesh)
{
    std::free(mesh->vertices);
    std::free(mesh->faces);
    mesh->vertices = nullptr;
    mesh->faces = nullptr;
    mesh->vertexCount = mesh->vertexCapacity = 0;
    mesh->faceCount = mesh->faceCapacity = 0;
}

void MeshSetAngles(Mesh* mesh, int ax, int ay, int az)
{
    mesh->angleX = ax & 0x3FF;
    mesh->angleY = ay & 0x3FF;
    mesh->angleZ = az & 0x3FF;
}

void MeshSetPosition(Mesh* mesh, float x, float y, float z)
{
    mesh->positionX = x;
    mesh->positionY = y;
    mesh->positionZ = z;
}

void MeshSetMaterial(Mesh* mesh, const Material* material)
{
    for (int i = 0; i < Faces(mesh); i++)
        mesh->faces[i].material = material;
}

// m = m * r, through a temporary.
static void MatrixMultiply(float m[16], const float r[16])
{
    float out[16];
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 4; col++)
            out[row * 4 + col] = m[row * 4 + 0] * r[0 * 4 + col] + m[row * 4 + 1] * r[1 * 4 + col] +
                                 m[row * 4 + 2] * r[2 * 4 + col] + m[row * 4 + 3] * r[3 * 4 + col];
    std::memcpy(m, out, sizeof(out));
}

void MeshBuildMatrix(Mesh* mesh)
{
    float* m = mesh->matrix;
    static const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(m, identity, sizeof(identity));
    float c = CosineTable[mesh->angleX & 1023], s = SineTable[mesh->angleX & 1023];
    const float rx[16] = {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1};
    MatrixMultiply(m, rx);
    c = CosineTable[mesh->angleY & 1023];
    s = SineTable[mesh->angleY & 1023];
    const float ry[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    MatrixMultiply(m, ry);
    c = CosineTable[mesh->angleZ & 1023];
    s = SineTable[mesh->angleZ & 1023];
    const float rz[16] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    MatrixMultiply(m, rz);
    float t[16];
    std::memcpy(t, identity, sizeof(identity));
    t[12] = mesh->positionX;
    t[13] = mesh->positionY;
    t[14] = mesh->positionZ;
    MatrixMultiply(m, t);
}

// A face whose indices leave the vertex array gets no corners and is skipped from then on.
static void ResolveCorners(Mesh* mesh)
{
    for (int f = 0; f < Faces(mesh); f++) {
        MeshFace* face = &mesh->faces[f];
        bool valid = true;
        for (int k = 0; k < 3; k++)
            valid = valid && face->vertexIndex[k] >= 0 && face->vertexIndex[k] < Vertices(mesh);
        for (int k = 0; k < 3; k++)
            face->corner[k] = valid ? &mesh->vertices[face->vertexIndex[k]] : nullptr;
    }
}

static void TransformVertices(Mesh* mesh)
{
    const float* m = mesh->matrix;
    for (int i = 0; i < Vertices(mesh); i++) {
        MeshVertex* p = &mesh->vertices[i];
        p->viewX = p->x * m[0] + p->y * m[4] + p->z * m[8] + m[12];
        p->viewY = p->x * m[1] + p->y * m[5] + p->z * m[9] + m[13];
        p->viewZ = p->x * m[2] + p->y * m[6] + p->z * m[10] + m[14];
    }
}

static void ComputeNormals(Mesh* mesh)
{
    for (int i = 0; i < Vertices(mesh); i++) {
        MeshVertex* p = &mesh->vertices[i];
        p->normalX = p->normalY = p->normalZ = 0.0f;
        p->normalCount = 0;
    }
    for (int f = 0; f < Faces(mesh); f++) {
        MeshFace* face = &mesh->faces[f];
        if (!face->corner[0])
            continue;
        MeshVertex *p0 = face->corner[0], *p1 = face->corner[1], *p2 = face->corner[2];
        float ax = p1->viewX - p0->viewX, ay = p1->viewY - p0->viewY, az = p1->viewZ - p0->viewZ;
        float bx = p2->viewX - p0->viewX, by = p2->viewY - p0->viewY, bz = p2->viewZ - p0->viewZ;
        float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
        float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (length != 0.0f) {
            nx /= length;
            ny /= length;
            nz /= length;
        }
        face->normalX = nx;
        face->normalY = ny;
        face->normalZ = nz;
        for (int k = 0; k < 3; k++) {
            MeshVertex* p = face->corner[k];
            p->normalX += nx;
            p->normalY += ny;
            p->normalZ += nz;
            p->normalCount++;
        }
    }
    for (int i = 0; i < Vertices(mesh); i++) {
        MeshVertex* p = &mesh->vertices[i];
        if (p->normalCount != 0) {
            p->normalX /= (float)p->normalCount;
            p->normalY /= (float)p->normalCount;
            p->normalZ /= (float)p->normalCount;
        }
    }
}

static void EnvironmentCoords(Mesh* mesh)
{
    for (int f = 0; f < Faces(mesh); f++) {
        MeshFace* face = &mesh->faces[f];
        if (!face->corner[0])
            continue;
        for (int k = 0; k < 3; k++) {
            face->s[k] = (float)EffectTrunc(face->corner[k]->normalX * 104.0f + 128.0f);
            face->t[k] = (float)EffectTrunc(face->corner[k]->normalY * 104.0f + 128.0f);
        }
    }
}

// Faces beyond the draw list's capacity are dropped.
static void BuildDrawList(Scene* scene)
{
    scene->drawCount = 0;
    for (int m = 0; m < Meshes(scene); m++) {
        Mesh* mesh = &scene->meshes[m];
        for (int f = 0; f < Faces(mesh); f++) {
            MeshFace* face = &mesh->faces[f];
            if (!face->corner[0] || !face->material)
                continue;
            if (!(face->normalZ >= face->material->cullThreshold))
                continue;
            if (scene->drawCount >= scene->drawCapacity)
                return;
            float z = face->corner[0]->viewZ;
            if (face->corner[1]->viewZ > z)
                z = face->corner[1]->viewZ;
            if (face->corner[2]->viewZ > z)
                z = face->corner[2]->viewZ;
            DrawEntry* e = &scene->drawList[scene->drawCount++];
            e->key = (uint32_t)EffectTrunc(kKeyBase - z);
            e->face = face;
        }
    }
}

// Stable least-significant-digit radix sort on the key's four bytes; the result ends in list.
// A byte that every key shares would leave the order as it is, so its pass is skipped.
static void SortDrawList(DrawEntry* list, int count)
{
    uint32_t offsets[4][256] = {};
    for (int i = 0; i < count; i++)
        for (int b = 0; b < 4; b++)
            offsets[b][list[i].key >> (8 * b) & 255]++;
    DrawEntry* other = (DrawEntry*)ScratchAlloc((uint32_t)(count * sizeof(DrawEntry)));
    DrawEntry* from = list;
    DrawEntry* to = other;
    for (int b = 0; b < 4; b++) {
        uint32_t* offset = offsets[b];
        if (offset[list[0].key >> (8 * b) & 255] == (uint32_t)count)
            continue;
        uint32_t sum = 0;
        for (int d = 0; d < 256; d++) {
            uint32_t n = offset[d];
            offset[d] = sum;
            sum += n;
        }
        for (int i = 0; i < count; i++)
            to[offset[from[i].key >> (8 * b) & 255]++] = from[i];
        DrawEntry* swap = from;
        from = to;
        to = swap;
    }
    if (from != list)
        std::memcpy(list, from, (size_t)count * sizeof(DrawEntry));
    ScratchFree(other);
}

static bool HasBareTexels(const Texture* t)
{
    return t && t->pixels && (uint64_t)t->width * (uint64_t)t->height >= 65536;
}

static bool HasTexels(const Texture* t)
{
    return t && t->pixels;
}

static int FaceIntensity(float nz)
{
    int i = EffectTrunc(nz * 255.0f);
    return i < 0 ? 0 : i;
}

static void DrawGlowEdges(const Material* mat, const FillVertex c[3], const Surface* target)
{
    for (int e = 0; e < 3; e++) {
        if (mat->edgeFlags >> e & 1) {
            const FillVertex& a = c[e];
            const FillVertex& b = c[(e + 1) % 3];
            GlowLine(a.x, a.y, b.x, b.y, target, mat->red, mat->green, mat->blue, GlowProfile);
        }
    }
}

static void DrawSprite(const Material* mat, const MeshFace* face, const FillVertex c[3],
                       const Surface* target)
{
    float size = mat->spriteScale / face->corner[0]->viewZ;
    if (!(size >= 0.0f))
        size = 0.0f;
    if (size > 255.0f)
        size = 255.0f;
    AddSprite(c[0].x, c[0].y, (int)size, mat->textureB, target);
}

static uint32_t FlatColour(const Material* mat, int intensity)
{
    const int32_t* e = mat->blendTable->entry;
    int i = EffectClamp(intensity, 0, 255);
    return ((uint32_t)e[EffectClamp(mat->red, 0, 255) * 256 + i] << 16) |
           ((uint32_t)e[EffectClamp(mat->green, 0, 255) * 256 + i] << 8) |
           (uint32_t)e[EffectClamp(mat->blue, 0, 255) * 256 + i];
}

// Types that blend through a table draw nothing without one; textured types without texels.
static void DrawFace(const MeshFace* face, const FillVertex c[3], const Surface* target)
{
    const Material* mat = face->material;
    const BlendTable* table = mat->blendTable;
    switch (mat->type) {
    case MATERIAL_TEXTURE:
        if (HasBareTexels(mat->textureA))
            FillTexture(c, target, mat->textureA->pixels);
        break;
    case MATERIAL_ENVIRONMENT: {
        FillVertex env[3];
        for (int k = 0; k < 3; k++)
            env[k] = FillVertex{c[k].x, c[k].y, c[k].s, c[k].t, 0, 0, 0};
        if (HasBareTexels(mat->textureB))
            FillTexture(env, target, mat->textureB->pixels);
        break;
    }
    case MATERIAL_GLOW_EDGES:
        DrawGlowEdges(mat, c, target);
        break;
    case MATERIAL_FLAT:
        if (table)
            FillFlat(c, FlatColour(mat, FaceIntensity(face->normalZ)), target);
        break;
    case MATERIAL_TEXTURE_LIT:
        if (table && HasTexels(mat->textureA))
            FillTextureLit(c, target, mat->textureA, table, FaceIntensity(face->normalZ));
        break;
    case MATERIAL_SPRITE:
        DrawSprite(mat, face, c, target);
        break;
    case MATERIAL_TEXTURE_ENV:
        if (table && HasTexels(mat->textureA) && HasTexels(mat->textureB))
            FillTextureEnv(c, target, mat->textureA, table, mat->textureB);
        break;
    case MATERIAL_GLOW_SPRITE:
        DrawGlowEdges(mat, c, target);
        DrawSprite(mat, face, c, target);
        break;
    case MATERIAL_TEXTURE_OVER:
        if (table && HasTexels(mat->textureA))
            FillTextureOver(c, target, mat->textureA, table);
        break;
    case MATERIAL_COLOUR_OVER:
        if (table)
            FillColourOver(c, target, mat->red, mat->green, mat->blue, table);
        break;
    case MATERIAL_GOURAUD: {
        FillVertex lit[3];
        for (int k = 0; k < 3; k++) {
            lit[k] = c[k];
            lit[k].i = EffectClamp(EffectTrunc(face->corner[k]->normalZ * 255.0f), 0, 255);
        }
        if (table)
            FillGouraud(lit, mat->red, mat->green, mat->blue, target, table);
        break;
    }
    case MATERIAL_TEXTURE_GOURAUD: {
        FillVertex lit[3];
        for (int k = 0; k < 3; k++) {
            lit[k] = c[k];
            lit[k].i = FaceIntensity(face->corner[k]->normalZ);
        }
        if (table && HasTexels(mat->textureA))
            FillTextureGouraud(lit, target, mat->textureA, table);
        break;
    }
    default:
        break;
    }
}

// Projects the three corners; false when one lies at or behind the camera plane.
static bool ProjectFace(const MeshFace* face, float cx, float cy, FillVertex c[3])
{
    for (int k = 0; k < 3; k++) {
        const MeshVertex* p = face->corner[k];
        if (!(p->viewZ > 0.0f))
            return false;
        c[k].x = EffectTruncClamp(cx + p->viewX * kFocal / p->viewZ, kScreenLimit);
        c[k].y = EffectTruncClamp(cy + p->viewY * kFocal / p->viewZ, kScreenLimit);
        c[k].u = EffectTrunc(face->u[k]);
        c[k].v = EffectTrunc(face->v[k]);
        c[k].s = EffectTrunc(face->s[k]);
        c[k].t = EffectTrunc(face->t[k]);
        c[k].i = 0;
    }
    return true;
}

void SceneRender(Scene* scene, const Surface* target, int centreX, int centreY)
{
    for (int m = 0; m < Meshes(scene); m++) {
        Mesh* mesh = &scene->meshes[m];
        ResolveCorners(mesh);
        MeshBuildMatrix(mesh);
        TransformVertices(mesh);
        ComputeNormals(mesh);
        EnvironmentCoords(mesh);
    }
    BuildDrawList(scene);
    if (scene->drawCount > 0)
        SortDrawList(scene->drawList, scene->drawCount);
    float cx = (float)centreX, cy = (float)centreY;
    for (int i = 0; i < scene->drawCount; i++) {
        const MeshFace* face = scene->drawList[i].face;
        FillVertex c[3];
        if (ProjectFace(face, cx, cy, c))
            DrawFace(face, c, target);
    }
}

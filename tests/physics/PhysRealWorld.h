// Real collision for the physics step's scenario tests and benchmarks: a ground of faces held in
// every body's collision cache and bodies with real forms (boxes and balls), met by the world
// and object pair collision once the physics' services are installed.
#pragma once

#include "collision/CollisionFace.h"
#include "collision/FaceList.h"
#include "collision/Form.h"
#include "collision/Shape.h"
#include "maths/Matrix.h"
#include "maths/Vector.h"
#include "physics/Body.h"

#include "PhysStepWorld.h"
#include "WorldCollisionFixture.h"

#include <cmath>
#include <vector>

namespace realworld
{
using physworld::V;
constexpr float kPi = 3.14159265f;

// The ground: faces turned about z by the angle (0: the floor y = 0), shared by every body's
// cache. The caches stay valid over a gather box that covers the whole scene, so the step's
// refresh keeps these faces.
struct Ground
{
    std::vector<bzDynFaceHit> faces;
    bzDynFaceList list{};

    explicit Ground(float degrees = 0.0f)
    {
        worldfixture::Floor(faces);
        // One flat quad: the diagonal the two triangles share is no edge of the ground, and
        // the ground's data marks it so, as a level's would.
        faces[0].flags |= BZ_FACE_SKIP_EDGE_0;
        faces[1].flags |= BZ_FACE_SKIP_EDGE_2;
        const float a = degrees * kPi / 180.0f, c = std::cos(a), s = std::sin(a);
        // A turn about z: with a positive angle the ground falls away towards +x.
        auto turn = [&](const bzV3 &p) { return V(c * p.x + s * p.y, -s * p.x + c * p.y, p.z); };
        for (bzDynFaceHit &f : faces)
        {
            for (bzV3 &v : f.vertices)
                v = turn(v);
            f.plane.n = turn(f.plane.n);
            f.plane.d = 0.0f;
        }
        list.capacity = int32_t(faces.size());
        list.count = int32_t(faces.size());
        list.entries = faces.data();
    }
    Ground(const Ground &) = delete;
    Ground &operator=(const Ground &) = delete;
    bzV3 Up() const { return faces[0].plane.n; }
};

// A body with a real form and its own collision cache over the ground's faces.
struct Solid
{
    physworld::Body body;
    worldfixture::FormPtr form;
    bzDynCollisionCache cache{};

    Solid(const Solid &) = delete;
    Solid &operator=(const Solid &) = delete;
    Solid() = default;

    void Attach(Ground &ground)
    {
        cache.gatherList = &ground.list;
        cache.valid = 1;
        bz_M34_SetIdentity(&cache.gatherMatrix);
        bz_M34_SetIdentity(&cache.gatherInverse);
        cache.gatherBox = {V(-1000, -1000, -1000), V(1000, 1000, 1000)};
        body.b.collisionCache = &cache;
        body.b.form = form.get();
    }
    // A box of full edge `size` and the mass at (x, y, z).
    void Box(Ground &ground, float mass, float size, bzV3 at)
    {
        body.Box("box", mass, V(size, size, size), at);
        form = worldfixture::BoxForm(BZ_SHAPE_ALIGNED_CUBOID, size / 2);
        Attach(ground);
    }
    void Ball(Ground &ground, float mass, float radius, bzV3 at)
    {
        body.Sphere("ball", mass, radius, at);
        form = worldfixture::SphereForm(radius);
        Attach(ground);
    }
    BZDObject *b() { return &body.b; }
    bzV3 Position() const { return body.Position(); }
};

} // namespace realworld

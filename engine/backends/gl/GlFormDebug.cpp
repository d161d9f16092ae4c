#include "backends/gl/GlFormDebug.h"

#include "collision/Shape.h"
#include "maths/Matrix.h"

#include <GL/gl.h>

#include <initializer_list>

namespace
{
// The colours of the shapes of the coloured drawing, in chain order.
constexpr float kShapeColours[6][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                       {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};

// The hull edges of every shape as one batch of lines; with colour, each shape in its colour
// of the table, the odd edges at half intensity.
void Edges(const bzForm *form, bool colour)
{
    if (!form)
        return;
    int32_t index = 0;
    glBegin(GL_LINES);
    for (const bzShape *shape = form->firstShape; shape; shape = shape->next, ++index)
    {
        const bzHull *hull = bz_Shape_Hull(shape);
        if (!hull || !hull->vertices || !hull->edges)
            continue;
        const float *rgb = kShapeColours[index % 6];
        for (int32_t e = 0; e < hull->edgeCount; ++e)
        {
            const bzHullEdge &edge = hull->edges[e];
            if (edge.a >= hull->vertexCount || edge.b >= hull->vertexCount)
                continue;
            if (colour)
            {
                const float f = (e & 1) ? 0.5f : 1.0f;
                glColor3f(rgb[0] * f, rgb[1] * f, rgb[2] * f);
            }
            glVertex3fv(hull->vertices[edge.a].v);
            glVertex3fv(hull->vertices[edge.b].v);
        }
    }
    glEnd();
}
} // namespace

void OGL_DebugDrawForm(const bzForm *form)
{
    if (!form)
        return;
    Edges(form, true);
    glColor3f(1.0f, 1.0f, 1.0f);
}

void OGL_DebugDrawFormWire(const bzForm *form)
{
    Edges(form, false);
}

void OGL_DebugDrawFormAt(const bzForm *form, const bzM34 *matrix)
{
    if (!form || !matrix)
        return;
    bzM44 m;
    bz_M34ToM44(&m, matrix);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Row vectors times a row-major matrix are column vectors times the same memory read
    // column-major: the matrix loads as it stands.
    glLoadMatrixf(&m.row[0].x);
    Edges(form, false);
    glPopMatrix();
}

void OGL_DebugDrawFormMark(const bzForm *form)
{
    if (form && form->firstShape && form->firstShape->kind == BZ_SHAPE_ALIGNED_CUBOID)
    {
        const bzV3 &lo = form->bounds.min;
        const bzV3 &hi = form->bounds.max;
        glColor3f(1.0f, 1.0f, 0.0f);
        glBegin(GL_LINES);
        for (const bzHullEdge &edge : bzgCuboidEdges)
            for (uint32_t corner : {uint32_t{edge.a}, uint32_t{edge.b}})
                glVertex3f((corner & 1) ? hi.x : lo.x, (corner & 2) ? hi.y : lo.y,
                           (corner & 4) ? hi.z : lo.z);
        glEnd();
    }
    glColor3f(1.0f, 1.0f, 1.0f);
}

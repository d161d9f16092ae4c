#include "render/MatrixDebug.h"

#include "core/Debug.h"
#include "pc/PcClipboard.h"

#include <cstdio>

namespace
{
template <class M> int32_t ShowDebug(const M *m, int32_t firstLine, int rows)
{
    for (int i = 0; i < rows; i++)
    {
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, "%f %f %f", m->row[i].x, m->row[i].y, m->row[i].z);
        bz_ShowDebugMessage(firstLine + i, "%s", buffer);
    }
    return firstLine + rows;
}
} // namespace

int32_t bz_M34_ShowDebug(const bzM34 *m, int32_t firstLine)
{
    return ShowDebug(m, firstLine, 4);
}

int32_t bz_M33_ShowDebug(const bzM33 *m, int32_t firstLine)
{
    return ShowDebug(m, firstLine, 3);
}

int32_t bz_M34_CopyToClipboard(const bzM34 *m)
{
    char text[8192];
    int used = 0;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            used += std::snprintf(text + used, sizeof text - used, "matrix.row[%d].v[%d] = %ff;\n",
                                  i, j, m->row[i].v[j]);
    return PDSetClipboardText(text);
}

// The portal room calculation over a row of rooms joined by doorways, each with a portal: the
// cells' face lists narrowed from their parents' lists against every cell gathering its own
// faces from the level. Built as bench_scene; not run by the tests.
#include "FakePortalFaces.h"
#include "FakeScene.h"

#include "scene/Lump.h"
#include "scene/Portals.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace
{
constexpr int kRooms = 6;

bzBox B(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return {{{{x0, y0, z0}}}, {{{x1, y1, z1}}}};
}

// Rooms 10 m square and 4 m high along x, 11 m apart, in a shell one metre thick; the portal
// text of their doorways.
std::string BuildRow(FakeModels &models, bzLump *level)
{
    const float end = kRooms * 11.0f - 1.0f;
    const bzBox shell[] = {B(-1, -1, -1, end + 1, 0, 11), B(-1, 4, -1, end + 1, 5, 11),
                           B(-1, 0, -1, 0, 4, 11),        B(end, 0, -1, end + 1, 4, 11),
                           B(0, 0, -1, end, 4, 0),        B(0, 0, 10, end, 4, 11)};
    int n = 0;
    for (const bzBox &b : shell)
        AddFakeBox(models, level, b, "shell" + std::to_string(n++));
    std::string text = std::to_string(kRooms - 1) + "\n";
    for (int k = 1; k < kRooms; k++)
    {
        const float x = k * 11.0f - 1.0f;
        AddFakeBox(models, level, B(x, 0, 0, x + 1, 4, 4), "a" + std::to_string(k));
        AddFakeBox(models, level, B(x, 0, 6, x + 1, 4, 10), "b" + std::to_string(k));
        AddFakeBox(models, level, B(x, 3, 4, x + 1, 4, 6), "c" + std::to_string(k));
        const std::string at = std::to_string(x + 0.5f);
        text +=
            "1 0 0 " + at + "\n4\n" + at + " 0 4\n" + at + " 3 4\n" + at + " 3 6\n" + at + " 0 6\n";
    }
    return text;
}

void Calculate(benchmark::State &state, bool refuseNarrowing)
{
    FakeModels models;
    FakePortalFaces faces;
    faces.narrowRefused = refuseNarrowing;
    bzLump *level = bz_Lump_Create(BZ_LUMP_TYPE_NULL, "level");
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("portal_row_" + std::to_string(getpid()) + ".txt"))
                                 .string();
    std::ofstream(path) << BuildRow(models, level);
    int32_t rooms = 0;
    for (auto _ : state)
    {
        bz_Portals_LoadText(path.c_str(), level, nullptr, nullptr);
        rooms = bz_Portals_GetWorld() ? bz_Portals_GetWorld()->roomCount : -1;
    }
    state.counters["rooms"] = rooms;
    state.counters["gathers"] =
        benchmark::Counter(faces.gathers, benchmark::Counter::kAvgIterations);
    bz_Portals_FreeWorld();
    bz_Lump_DestroyTree(level);
    std::filesystem::remove(path);
}

void BM_PortalRoomsNarrowedLists(benchmark::State &state)
{
    Calculate(state, false);
}
void BM_PortalRoomsEachCellGathers(benchmark::State &state)
{
    Calculate(state, true);
}
BENCHMARK(BM_PortalRoomsNarrowedLists)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PortalRoomsEachCellGathers)->Unit(benchmark::kMillisecond);
} // namespace

// Encoding one 1920 x 1080 menu page of 20 anti-aliased buttons in three states (far more
// than 255 colours, so the pictures go through the quantiser), phase by phase: the shared
// colour table (quantising), run-length coding of the 60 objects, cutting and framing the
// segments, and the whole encoding of the page. Goal: under 150 ms for the whole page.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "graphics/convert.h"
#include "graphics/ig_model.h"
#include "graphics/run_length.h"
#include "graphics/segments.h"

namespace {

using namespace vx;

constexpr int kColumns = 4, kRows = 5, kWidth = 300, kHeight = 80;

// A rounded rectangle with a vertical gradient and anti-aliased edges (partial alpha).
std::unique_ptr<CBitmap> ButtonPicture(int button, int state) {
    auto b = std::make_unique<CBitmap>();
    b->Create(kWidth, kHeight, PixelFormat::kArgb32);
    const double hue = button * 0.31 + state * 0.07;
    const double radius = 18;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double cx = std::clamp(x + 0.5, radius, kWidth - radius);
            const double cy = std::clamp(y + 0.5, radius, kHeight - radius);
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            const double coverage = std::clamp(radius - d, 0.0, 1.0);
            const double t = double(y) / kHeight;
            const double light = (state == 1 ? 1.0 : state == 2 ? 0.8 : 0.6) * (1.0 - 0.5 * t);
            auto channel = [&](double phase) {
                return uint8_t(255 * light * (0.5 + 0.5 * std::sin(hue + phase)));
            };
            b->SetArgb(x, y,
                       MakeArgb(uint8_t(255 * coverage), channel(0), channel(2.1), channel(4.2)));
        }
    return b;
}

struct Page {
    CIgObject ig;
    CDisplaySet* ds = nullptr;
    CPage* page = nullptr;
    Page() {
        ig.VideoDescriptor = {1920, 1080, 1};
        CEpoch* epoch = ig.NewEpoch();
        ds = epoch->NewDisplaySet();
        page = ds->NewPage();
        page->SetId(0);
        for (int i = 0; i < kColumns * kRows; ++i) {
            CBdButton* b = page->NewBog()->NewButton();
            b->HorPos = uint16_t(120 + (i % kColumns) * 440);
            b->VerPos = uint16_t(120 + (i / kColumns) * 180);
            for (int s = 0; s < 3; ++s) {
                CGraphicObject* g = epoch->Graphics.NewObject();
                g->SetImage(ButtonPicture(i, s));
                b->States[size_t(s)].Start.Set(g);
                b->States[size_t(s)].End.Set(g);
            }
        }
        page->ComputeGeometricNeighbours();
    }
    std::vector<const CBitmap*> Pictures() const {
        std::vector<const CBitmap*> out;
        CNamedPtrCollection all;
        ig.GetAt(0)->Graphics.CollectItems(&all);
        for (CNamedObject* o : all) out.push_back(static_cast<CGraphicObject*>(o)->GetImage());
        return out;
    }
};

const Page& TestPage() {
    static Page page;
    return page;
}

void BM_Quantise(benchmark::State& state) {
    std::vector<const CBitmap*> pictures = TestPage().Pictures();
    std::vector<CBitmap> indexed;
    ColorTable table;
    int transparent = 0;
    for (auto _ : state) {
        ConvertSetTo8Bit(pictures, indexed, table, transparent);
        benchmark::DoNotOptimize(indexed.data());
    }
    state.counters["colours"] = double(table.Entries.size());
}

void BM_RunLengthCoding(benchmark::State& state) {
    std::vector<CBitmap> indexed;
    ColorTable table;
    int transparent = 0;
    ConvertSetTo8Bit(TestPage().Pictures(), indexed, table, transparent);
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const CBitmap& picture : indexed) {
            std::vector<uint8_t> data;
            BuildObjectData(picture, data);
            bytes += data.size();
        }
    }
    state.counters["coded bytes"] = double(bytes);
}

void BM_Segments(benchmark::State& state) {
    std::vector<CBitmap> indexed;
    ColorTable table;
    int transparent = 0;
    ConvertSetTo8Bit(TestPage().Pictures(), indexed, table, transparent);
    std::vector<std::vector<uint8_t>> objects;
    for (const CBitmap& picture : indexed) {
        objects.emplace_back();
        BuildObjectData(picture, objects.back());
    }
    CModelWriter composition;
    TestPage().ds->Write(composition);
    for (auto _ : state) {
        CDsData ds;
        FragmentComposition(ds, composition.Out().Buffer(), {1920, 1080, 1});
        AddPalette(ds).Entries.resize(256);
        for (size_t i = 0; i < objects.size(); ++i) AppendObjectData(ds, uint16_t(i), objects[i]);
        SetTimeStamps(ds, 131070, 200000);
        ByteWriter out;
        EmitDisplaySet(ds, out, 0);
        benchmark::DoNotOptimize(out.Buffer().data());
    }
}

void BM_EncodePage(benchmark::State& state) {
    Page page;
    size_t bytes = 0;
    for (auto _ : state) {
        ByteWriter out;
        page.ig.Encode(out, true);
        bytes = out.Position();
    }
    state.counters["stream bytes"] = double(bytes);
}

BENCHMARK(BM_Quantise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLengthCoding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Segments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The CIM-XML reader on hostile answers of N bytes (1 MiB and 16 MiB, the transport's cap),
// each read or refused, beside the least any reader pays: one pass over the same bytes.
//
// Shapes: one element with as many attributes as fit; elements of 64 attributes each (the most
// one may carry); text nodes followed by a long comment;
// elements nested as deep as the bytes allow; more sibling elements than the limit; one value
// made of character references. Goal: each read or refused within 1 s at 16 MiB
// (docs/reliability.md).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "bench/support/Measured.h"
#include "cim/Client.h"

namespace {

namespace Cim = Tesmora::Cim;

constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// Repeats unit until the text is about n bytes long, then closes it.
std::string Fill(std::string text, const std::string& unit, std::size_t n, const char* tail) {
    while (text.size() + unit.size() + 64 < n) {
        text += unit;
    }
    return text + tail;
}

std::string Shape(const std::string& shape, std::size_t n) {
    if (shape == "attributes") {
        std::string text = std::string(kHead) + "<CIM";
        for (std::size_t i = 0; text.size() + 32 < n; ++i) {
            text += " a" + std::to_string(i) + "=\"v\"";
        }
        return text + "/>";
    }
    if (shape == "attribute-rows") {
        // As many elements as fit, each with the most attributes one may carry.
        std::string row = "<V";
        for (int i = 0; i < 64; ++i) {
            row += " a" + std::to_string(i) + "=\"v\"";
        }
        return Fill(std::string(kHead) + "<CIM>", row + "/>", n, "</CIM>");
    }
    if (shape == "text-nodes") {
        // As many text nodes as the element limit lets through, then a comment to the end.
        std::string text = std::string(kHead) + "<CIM>";
        for (int i = 0; i < 190000 && text.size() + 64 < n; ++i) {
            text += "x<V/>";
        }
        text += "<!--";
        text.append(n > text.size() + 64 ? n - text.size() - 64 : 0, 'c');
        return text + "--></CIM>";
    }
    if (shape == "deep") {
        return Fill(std::string(kHead) + "<CIM>", "<V>", n, "");
    }
    if (shape == "elements") {
        return Fill(std::string(kHead) + "<CIM>", "<V/>", n, "</CIM>");
    }
    return Fill(std::string(kHead) + "<CIM><VALUE>", "&amp;&#x41;", n, "</VALUE></CIM>");
}

void Read(benchmark::State& state, const std::string& shape, bool project) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string text = Shape(shape, n);
    auto once = [&](bool measured) {
        Quendal::Bench::Step(state, measured, [&] {
            if (project) {
                try {
                    benchmark::DoNotOptimize(
                        Cim::ReadEnumerateInstancesAnswer(text, "CIM_SoftwareIdentity"));
                } catch (const Cim::Error&) {
                }
            } else {
                benchmark::DoNotOptimize(std::count(text.begin(), text.end(), '<'));
            }
        });
    };
    once(false);
    for (auto _ : state) {
        once(true);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* shape :
         {"attributes", "attribute-rows", "text-nodes", "deep", "elements", "references"}) {
        for (const bool project : {true, false}) {
            Quendal::Bench::Register(
                std::string("cim-xml/") + shape + (project ? "/project" : "/bound"),
                [shape = std::string(shape), project](benchmark::State& state) {
                    Read(state, shape, project);
                },
                {std::int64_t{1} << 20, std::int64_t{16} << 20});
        }
    }
    return Quendal::Bench::Run(argc, argv);
}

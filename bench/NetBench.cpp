// Documents and packets of the network layer: a 1 MB XML document parsed
// into a tree and written back, and a 1 MB AMF0 packet decoded and encoded.
// Counters are bytes per second of the document or packet.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/net/Amf0Codec.h"
#include "core/net/XmlNode.h"

namespace {
using namespace kivra;

// A high-score and news document as data-driven movies read them: records
// with attributes, text with entities, some CDATA, indentation.
std::string bigDocument() {
  std::string doc = "<?xml version=\"1.0\"?>\n<feed title=\"scores &amp; news\">\n";
  for (int i = 0; doc.size() < (1 << 20); ++i) {
    doc += "  <entry id=\"e" + std::to_string(i) + "\" score=\"" + std::to_string(i * 37 % 10007) +
           "\" player='name " + std::to_string(i) + "'>\n    <title>Item " + std::to_string(i) +
           " &lt;new&gt; &amp; improved</title>\n    <body><![CDATA[Some <b>rich</b> text]]> and plain text "
           "that runs on for a while to look like a real body.</body>\n    <flag/>\n  </entry>\n";
  }
  doc += "</feed>\n";
  return doc;
}

void BM_XmlParse(benchmark::State& state) {
  const std::string doc = bigDocument();
  XmlTokenizerOptions options;
  options.ignoreWhite = state.range(0) != 0;
  for (auto _ : state) {
    XmlNodeRef root = XmlNode::make(XmlNode::kElement);
    const XmlParseResult r = parseXml(*root, doc, options);
    benchmark::DoNotOptimize(r.status);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

// Arg 1 writes into a buffer kept from the last round (the writer alone),
// arg 0 into a new one (with the growth of the string).
void BM_XmlWrite(benchmark::State& state) {
  const std::string doc = bigDocument();
  XmlNodeRef root = XmlNode::make(XmlNode::kElement);
  parseXml(*root, doc, XmlTokenizerOptions{});
  size_t size = 0;
  std::string kept;
  for (auto _ : state) {
    std::string fresh;
    std::string& out = state.range(0) ? kept : fresh;
    out.clear();
    writeXml(*root, out);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// A remoting-style result: an array of records (strings, numbers, booleans,
// a date, a nested object) until the packet passes 1 MB.
AmfValue bigValue() {
  AmfValue list = AmfValue::ofKind(AmfKind::StrictArray);
  std::vector<uint8_t> probe;
  for (int i = 0; probe.size() < (1 << 20); ++i) {
    AmfValue row = AmfValue::ofKind(AmfKind::Object);
    row.members.push_back({"id", AmfValue::ofNumber(i)});
    row.members.push_back({"name", AmfValue::ofString("player " + std::to_string(i))});
    row.members.push_back({"score", AmfValue::ofNumber(i * 1.25)});
    AmfValue flag = AmfValue::ofKind(AmfKind::Boolean);
    flag.boolean = i & 1;
    row.members.push_back({"active", flag});
    AmfValue when = AmfValue::ofKind(AmfKind::Date);
    when.number = 1.6e12 + i;
    row.members.push_back({"when", when});
    AmfValue where = AmfValue::ofKind(AmfKind::Object);
    where.members.push_back({"city", AmfValue::ofString("Somewhere")});
    where.members.push_back({"x", AmfValue::ofNumber(i % 100)});
    row.members.push_back({"where", std::move(where)});
    list.elements.push_back(std::move(row));
    if (i % 256 == 0) {
      probe.clear();
      Amf0Writer(probe).write(list);
    }
  }
  return list;
}

void BM_Amf0Encode(benchmark::State& state) {
  const AmfValue v = bigValue();
  size_t size = 0;
  for (auto _ : state) {
    std::vector<uint8_t> out;
    Amf0Writer(out).write(v);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_Amf0Decode(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  Amf0Writer(bytes).write(bigValue());
  for (auto _ : state) {
    AmfReader reader(bytes.data(), bytes.size());
    Amf0Decoder decoder(reader);
    AmfValue v;
    benchmark::DoNotOptimize(decoder.read(v));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}

BENCHMARK(BM_XmlParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Amf0Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Amf0Decode)->Unit(benchmark::kMillisecond);
}  // namespace
BENCHMARK_MAIN();

#include "load/LoadOptions.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <set>
#include <string_view>

#include "load/Receipt.h"

namespace tavrik::load {
namespace {

constexpr int kMaxRelayClients = 31;

template <typename Number>
bool ReadNumber(const std::string& text, Number& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "1" or "0,2": CPU numbers, each below CPU_SETSIZE.
bool ReadCpuList(const std::string& text, std::vector<int>& cpus) {
  cpus.clear();
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    int cpu = 0;
    if (!ReadNumber(text.substr(at, comma - at), cpu) || cpu < 0 || cpu >= CPU_SETSIZE) return false;
    cpus.push_back(cpu);
    at = comma + 1;
  }
  return !cpus.empty();
}

std::string DefaultRelayPath() {
#ifdef TAVRIK_LOAD_RELAY
  if (std::filesystem::exists(TAVRIK_LOAD_RELAY)) return TAVRIK_LOAD_RELAY;
#endif
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (self.parent_path().parent_path() / "TavrikSrv").string();
}

}  // namespace

const char* const kLoadUsage = R"(usage: tavrik_load [options]
Puts the TavrikSrv relay under load end to end on loopback and reports
throughput, latency, CPU time and memory, against a minimal fan-out ceiling.

  --relay PATH       relay binary to start (default: TavrikSrv of this build)
  --outputs FILE     start the relay with this outputs file (-k)
  --attach           use a running relay instead: needs --source-port and
                     --client-port (started with -l -t SRC -u -p CLIENT);
                     --pid PID adds its CPU time and memory
  --clients N        streaming clients (default 1)
  --stalled N        extra clients that send a request and never read
  --rate R           receipts per second; 0 = full speed (see --window)
  --duration S       measured seconds (default 10)
  --idle S           idle mode: clients connected, no receipts, for S seconds
  --size BYTES       receipt size (default 1024)
  --batch N          receipts per write at full speed (default 16)
  --text KIND        random (default): filler bytes of every value;
                     realistic: receipt-like lines from a fixed vocabulary
  --match N          every Nth receipt prints "REFUND 12.50" (for rules)
  --images N         every Nth receipt prints only a GS v 0 raster of three
                     item lines, no text (for text recognition); needs
                     --size of at least 2420
  --window BYTES     at full speed, receipt bytes written but not yet received
                     by the slowest client (default 65536, below the relay's
                     100000-byte hold-back mark); 0 floods the relay, which
                     then drops parts for clients that fall behind
  --printer          pass-through: the relay forwards to a printer sink (-o);
                     reports POS -> printer latency through the relay and
                     over a direct connection (at a set rate at the same
                     time, at full speed after the relay run), and
                     checks that the printer received every byte fed
  --no-ceiling       skip the fan-out ceiling run
  --smoke            short protocol check: 2 clients, 200 receipts/s, 2 s,
                     no ceiling; fails only on protocol errors, corruption,
                     duplicated or lost receipts, never on speed
  --json PATH        also write the one-line JSON summary to PATH
  --keep             keep the relay's temporary folder (its log)
  --tool-cpus LIST   once the relay runs, keep the tool's own threads to
                     these CPUs (e.g. 1 or 0,2): load apart from the relay,
                     as clients on other machines would be (the --printer
                     sink, started before the relay, excepted)
Exit status: 0 clean; 1 a fault: protocol error, corrupted or duplicated
receipt (in --smoke also a lost one), a stuck feeder, or a relay that died or
did not exit cleanly on SIGTERM; 2 the run could not be set up.
)";

std::string ParseLoadOptions(int argc, char** argv, LoadOptions& options) {
  std::set<std::string> given;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    if (const size_t equals = name.find('=');
        name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
      hasValue = true;
    }
    const auto next = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    given.insert(name);
    bool ok = true;
    if (name == "--serve-fanout") {
      options.serveFanOut = true;
      ok = i + 2 < argc && ReadNumber(argv[i + 1], options.sourcePort) &&
           ReadNumber(argv[i + 2], options.clientPort);
      i += 2;
    } else if (name == "--relay") {
      ok = next();
      options.relayPath = value;
    } else if (name == "--outputs") {
      ok = next();
      options.outputsPath = value;
    } else if (name == "--attach") {
      options.attach = true;
    } else if (name == "--source-port") {
      ok = next() && ReadNumber(value, options.sourcePort);
    } else if (name == "--client-port") {
      ok = next() && ReadNumber(value, options.clientPort);
    } else if (name == "--pid") {
      ok = next() && ReadNumber(value, options.pid);
    } else if (name == "--clients") {
      ok = next() && ReadNumber(value, options.clients) && options.clients >= 1;
    } else if (name == "--stalled") {
      ok = next() && ReadNumber(value, options.stalled) && options.stalled >= 0;
    } else if (name == "--rate") {
      ok = next() && ReadNumber(value, options.rate) && options.rate >= 0;
    } else if (name == "--duration") {
      ok = next() && ReadNumber(value, options.duration) && options.duration > 0;
    } else if (name == "--idle") {
      ok = next() && ReadNumber(value, options.idle) && options.idle > 0;
    } else if (name == "--size") {
      ok = next() && ReadNumber(value, options.receiptSize) &&
           options.receiptSize >= Receipt::kMinSize && options.receiptSize <= Receipt::kMaxSize;
    } else if (name == "--batch") {
      ok =
          next() && ReadNumber(value, options.batch) && options.batch >= 1 && options.batch <= 4096;
    } else if (name == "--window") {
      ok = next() && ReadNumber(value, options.window);
    } else if (name == "--text") {
      ok = next() && (value == "random" || value == "realistic");
      options.mix.text = value == "realistic" ? ReceiptContent::Text::Realistic : ReceiptContent::Text::Random;
    } else if (name == "--match") {
      ok = next() && ReadNumber(value, options.mix.matchEvery) && options.mix.matchEvery >= 1;
    } else if (name == "--images") {
      ok = next() && ReadNumber(value, options.mix.imageEvery) && options.mix.imageEvery >= 1;
    } else if (name == "--no-ceiling") {
      options.ceiling = false;
    } else if (name == "--printer") {
      options.printer = true;
    } else if (name == "--smoke") {
      options.smoke = true;
    } else if (name == "--json") {
      ok = next() && !value.empty();
      options.jsonPath = value;
    } else if (name == "--tool-cpus") {
      ok = next() && ReadCpuList(value, options.toolCpus);
    } else if (name == "--keep") {
      options.keepFolder = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else {
      return "unknown option " + name;
    }
    if (!ok) return "bad or missing value for " + name;
  }
  if (options.serveFanOut) return "";
  if (options.smoke) {
    // Few enough bytes per client (under the relay's 1 MB backlog cap) that a
    // loss can only be a fault, however slowly the machine runs.
    if (!given.count("--clients")) options.clients = 2;
    if (!given.count("--rate")) options.rate = 200;
    if (!given.count("--duration")) options.duration = 2;
    options.ceiling = false;
  }
  if (options.mix.imageEvery > 0 &&
      options.receiptSize < Receipt::SmallestSize(ReceiptContent::Kind::Image)) {
    return "--images needs --size of at least " +
           std::to_string(Receipt::SmallestSize(ReceiptContent::Kind::Image));
  }
  if (options.attach && (options.sourcePort <= 0 || options.clientPort <= 0)) {
    return "--attach needs --source-port and --client-port";
  }
  if (options.clients + options.stalled > kMaxRelayClients) {
    return "the relay serves at most " + std::to_string(kMaxRelayClients) +
           " clients at once: --clients plus --stalled must not exceed it";
  }
  if (options.relayPath.empty()) options.relayPath = DefaultRelayPath();
  if (!options.attach && access(options.relayPath.c_str(), X_OK) != 0) {
    return "no relay at " + options.relayPath + " (build TavrikSrv or give --relay)";
  }
  return "";
}

}  // namespace tavrik::load

#include "outputs/OutputsConfigReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "outputs/HostSyntax.h"
#include "ocr/TextRecognizer.h"
#include "platform/HttpClient.h"
#include "png/PngWriter.h"
#include "rules/RegexPattern.h"

namespace tavrik {
namespace {

// Thrown inside the reader only, caught by ReadOutputsConfig.
struct Problem {
  std::string message;
};

class Reader {
 public:
  Reader(std::string_view fileName, bool mqttAvailable) : fileName_(fileName), mqttAvailable_(mqttAvailable) {}

  OutputsConfig Read(const toml::table& root) {
    OutputsConfig config;
    ForEachKey(root, "", {
        {"recorder", [&](const toml::node& node, const std::string& key) {
           ForEachTable(node, key, OutputsConfig::kMaxRecorders, "recorders", [&](const toml::table& table, const std::string& name) {
             config.recorders.push_back(ReadRecorder(table, name));
           });
         }},
        {"text_server", [&](const toml::node& node, const std::string& key) {
           ForEachTable(node, key, OutputsConfig::kMaxTextServers, "text servers", [&](const toml::table& table, const std::string& name) {
             config.textServers.push_back(ReadTextServer(table, name));
           });
         }},
        {"mqtt", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [mqtt]");
           if (!mqttAvailable_) Fail(node, key, "this build has no MQTT support");
           config.mqtt = ReadMqtt(*table, key);
         }},
        {"event", [&](const toml::node& node, const std::string& key) {
           ForEachTable(node, key, OutputsConfig::kMaxEventOutputs, "event outputs", [&](const toml::table& table, const std::string& name) {
             config.events.push_back(ReadEventOutput(table, name, config.events));
           });
         }},
        {"ocr", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [ocr]");
           config.ocr = ReadOcr(*table, key);
         }},
        {"web", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [web]");
           config.web = ReadWeb(*table, key);
         }},
        {"journal", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [journal]");
           config.journal = ReadJournal(*table, key);
         }},
        {"mask_card_numbers", [&](const toml::node& node, const std::string& key) {
           config.maskCardNumbers = Boolean(node, key);
         }},
        {"name", [&](const toml::node& node, const std::string& key) { config.till = NonEmpty(node, key); }},
        {"rule", [&](const toml::node& node, const std::string& key) {
           ForEachTable(node, key, RuleConfig::kMaxRules, "rules", [&](const toml::table& table, const std::string& name) {
             config.rules.push_back(ReadRule(table, name, config.rules));
           });
         }},
        {"render", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [render]");
           config.render = ReadRender(*table, key);
         }},
    });
    CheckRuleOutputs(config);
    if (config.mqtt) config.mqtt->till = config.till;
    return config;
  }

 private:
  using KeyReader = std::function<void(const toml::node&, const std::string&)>;

  [[noreturn]] void Fail(const toml::node& node, const std::string& key, const std::string& what) const {
    FailAt(node.source().begin.line, key, what);
  }
  [[noreturn]] void FailAt(toml::source_index line, const std::string& key, const std::string& what) const {
    throw Problem{std::string(fileName_) + ":" + std::to_string(line) + ": " + key + ": " + what};
  }

  // Calls the reader of each key in table; unknown keys are errors, and so
  // are required keys (readers named in required) that are missing.
  void ForEachKey(const toml::table& table, const std::string& prefix, const std::map<std::string, KeyReader>& readers,
                  std::initializer_list<const char*> required = {}) {
    for (auto&& [key, node] : table) {
      const std::string name = prefix.empty() ? std::string(key.str()) : prefix + "." + std::string(key.str());
      const auto reader = readers.find(std::string(key.str()));
      if (reader == readers.end()) Fail(node, name, "unknown key");
      reader->second(node, name);
    }
    for (const char* key : required) {
      if (!table.contains(key)) FailAt(table.source().begin.line, prefix + "." + key, "missing");
    }
  }

  template <typename ReadOne>
  void ForEachTable(const toml::node& node, const std::string& key, size_t most, const char* what, ReadOne readOne) {
    const toml::array* array = node.as_array();
    if (!array || !array->is_array_of_tables()) Fail(node, key, "must be written [[" + key + "]]");
    if (array->size() > most) {
      Fail(*array->get(most), key, "at most " + std::to_string(most) + " " + what);
    }
    for (size_t i = 0; i < array->size(); ++i) {
      readOne(*array->get(i)->as_table(), key + "[" + std::to_string(i + 1) + "]");
    }
  }

  std::string String(const toml::node& node, const std::string& key) {
    const auto* value = node.as_string();
    if (!value) Fail(node, key, "must be a string");
    return value->get();
  }
  std::string NonEmpty(const toml::node& node, const std::string& key) {
    std::string value = String(node, key);
    if (value.empty()) Fail(node, key, "must not be empty");
    return value;
  }
  // Checked for its syntax only: nothing is looked up before the start.
  std::string Host(const toml::node& node, const std::string& key) {
    std::string value = NonEmpty(node, key);
    if (!IsIpv4Address(value) && !IsIpv6Address(value) && !IsHostName(value)) {
      Fail(node, key, "must be an IP address or a host name");
    }
    return value;
  }
  // What a listener can take: an address of its own or localhost.
  std::string LocalAddress(const toml::node& node, const std::string& key) {
    std::string value = NonEmpty(node, key);
    if (!IsIpv4Address(value) && !IsIpv6Address(value) && value != "localhost") {
      Fail(node, key, "must be a local IP address or localhost");
    }
    return value;
  }
  bool Boolean(const toml::node& node, const std::string& key) {
    const auto* value = node.as_boolean();
    if (!value) Fail(node, key, "must be true or false");
    return value->get();
  }
  // A receipt's picture sent along: the build must be able to make one.
  bool Picture(const toml::node& node, const std::string& key) {
    const bool on = Boolean(node, key);
    if (on && !PngWriter::Available()) Fail(node, key, "this build has no PNG support");
    return on;
  }
  int32_t Integer(const toml::node& node, const std::string& key, int32_t min, int32_t max) {
    const auto* value = node.as_integer();
    if (!value || value->get() < min || value->get() > max) {
      Fail(node, key, "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return static_cast<int32_t>(value->get());
  }
  std::string MarkerLine(const toml::node& node, const std::string& key) {
    std::string value = String(node, key);
    if (value.find_first_of("\r\n") != std::string::npos) Fail(node, key, "must not contain a line break");
    return value;
  }

  void AddFormatKeys(std::map<std::string, KeyReader>& readers, TextFormat& format) {
    readers.emplace("start", [&](const toml::node& n, const std::string& k) { format.start = MarkerLine(n, k); });
    readers.emplace("end", [&](const toml::node& n, const std::string& k) { format.end = MarkerLine(n, k); });
    readers.emplace("wrap", [&](const toml::node& n, const std::string& k) { format.wrap = Integer(n, k, 0, 1000); });
    readers.emplace("line_end", [&](const toml::node& n, const std::string& k) {
      format.lineEnd = String(n, k);
      if (format.lineEnd != "\r\n" && format.lineEnd != "\n" && format.lineEnd != "\r") {
        Fail(n, k, R"(must be "\r\n", "\n" or "\r")");
      }
    });
    readers.emplace("encoding", [&](const toml::node& n, const std::string& k) {
      const std::string value = String(n, k);
      if (value == "utf-8") {
        format.encoding = TextEncoding::kUtf8;
      } else if (value == "latin1") {
        format.encoding = TextEncoding::kLatin1;
      } else if (value == "ascii") {
        format.encoding = TextEncoding::kAscii;
      } else {
        Fail(n, k, R"(must be "utf-8", "latin1" or "ascii")");
      }
    });
  }

  RecorderConfig ReadRecorder(const toml::table& table, const std::string& name) {
    RecorderConfig recorder;
    std::map<std::string, KeyReader> readers{
        {"protocol", [&](const toml::node& n, const std::string& k) {
           const std::string value = String(n, k);
           if (value != "tcp" && value != "udp") Fail(n, k, R"(must be "tcp" or "udp")");
           recorder.protocol = value == "udp" ? RecorderProtocol::kUdp : RecorderProtocol::kTcp;
         }},
        {"host", [&](const toml::node& n, const std::string& k) { recorder.host = Host(n, k); }},
        {"port", [&](const toml::node& n, const std::string& k) { recorder.port = Integer(n, k, 1, 65535); }},
        {"queue", [&](const toml::node& n, const std::string& k) { recorder.queue = Integer(n, k, 1, 100000); }},
    };
    AddFormatKeys(readers, recorder.format);
    ForEachKey(table, name, readers, {"host", "port"});
    return recorder;
  }

  TextServerConfig ReadTextServer(const toml::table& table, const std::string& name) {
    TextServerConfig server;
    std::map<std::string, KeyReader> readers{
        {"port", [&](const toml::node& n, const std::string& k) { server.port = Integer(n, k, 1, 65535); }},
        {"address", [&](const toml::node& n, const std::string& k) { server.address = LocalAddress(n, k); }},
    };
    AddFormatKeys(readers, server.format);
    ForEachKey(table, name, readers, {"port"});
    return server;
  }

  MqttConfig ReadMqtt(const toml::table& table, const std::string& name) {
    MqttConfig mqtt;
    const std::map<std::string, KeyReader> readers{
        {"host", [&](const toml::node& n, const std::string& k) { mqtt.host = Host(n, k); }},
        {"port", [&](const toml::node& n, const std::string& k) { mqtt.port = Integer(n, k, 1, 65535); }},
        {"client_id", [&](const toml::node& n, const std::string& k) { mqtt.clientId = NonEmpty(n, k); }},
        {"topic", [&](const toml::node& n, const std::string& k) {
           mqtt.topic = NonEmpty(n, k);
           if (mqtt.topic.find_first_of("+#") != std::string::npos) Fail(n, k, "must not contain + or #");
         }},
        {"username", [&](const toml::node& n, const std::string& k) { mqtt.username = NonEmpty(n, k); }},
        {"password", [&](const toml::node& n, const std::string& k) { mqtt.password = String(n, k); }},
        {"ca_file", [&](const toml::node& n, const std::string& k) { mqtt.caFile = NonEmpty(n, k); }},
        {"cert_file", [&](const toml::node& n, const std::string& k) { mqtt.certFile = NonEmpty(n, k); }},
        {"key_file", [&](const toml::node& n, const std::string& k) { mqtt.keyFile = NonEmpty(n, k); }},
        {"qos", [&](const toml::node& n, const std::string& k) { mqtt.qos = Integer(n, k, 0, 1); }},
        {"keepalive", [&](const toml::node& n, const std::string& k) { mqtt.keepalive = Integer(n, k, 5, 65535); }},
        {"queue", [&](const toml::node& n, const std::string& k) { mqtt.queue = Integer(n, k, 1, 100000); }},
        {"raw", [&](const toml::node& n, const std::string& k) { mqtt.raw = Boolean(n, k); }},
        {"png", [&](const toml::node& n, const std::string& k) { mqtt.png = Picture(n, k); }},
    };
    ForEachKey(table, name, readers, {"host", "topic"});
    mqtt.lines.emplace(name, table.source().begin.line);
    for (auto&& [key, node] : table) mqtt.lines.emplace(name + "." + std::string(key.str()), node.source().begin.line);
    if (mqtt.certFile.empty() != mqtt.keyFile.empty()) {
      FailAt(table.source().begin.line, name + "." + (mqtt.certFile.empty() ? "cert_file" : "key_file"),
             "missing (cert_file and key_file go together)");
    }
    if (!mqtt.password.empty() && mqtt.username.empty()) {
      FailAt(table.source().begin.line, name + ".username", "missing (a password needs a username)");
    }
    return mqtt;
  }

  // The sinks a rule can name: the web port always, MQTT when configured,
  // and the [[event]] outputs.
  void CheckRuleOutputs(const OutputsConfig& config) {
    for (size_t i = 0; i < config.rules.size(); ++i) {
      for (const std::string& output : config.rules[i].outputs) {
        if (output == "web" || (output == "mqtt" && config.mqtt)) continue;
        const auto named = [&](const EventOutputConfig& event) { return event.name == output; };
        if (std::any_of(config.events.begin(), config.events.end(), named)) continue;
        FailAt(config.rules[i].line, "rule[" + std::to_string(i + 1) + "].outputs",
               "no event output named \"" + output + "\"");
      }
    }
  }

  std::vector<std::string> Strings(const toml::node& node, const std::string& key) {
    const toml::array* array = node.as_array();
    if (!array) Fail(node, key, "must be a list of strings");
    std::vector<std::string> values;
    for (const toml::node& item : *array) values.push_back(NonEmpty(item, key));
    return values;
  }
  double Number(const toml::node& node, const std::string& key) {
    if (const auto* integer = node.as_integer()) return static_cast<double>(integer->get());
    const auto* value = node.as_floating_point();
    if (!value || !std::isfinite(value->get())) Fail(node, key, "must be a number");
    return value->get();
  }

  RuleConfig ReadRule(const toml::table& table, const std::string& name, const std::vector<RuleConfig>& before) {
    RuleConfig rule;
    rule.line = table.source().begin.line;
    uint32_t regexLine = 0;
    const std::map<std::string, KeyReader> readers{
        {"name", [&](const toml::node& n, const std::string& k) {
           rule.name = NonEmpty(n, k);
           for (const RuleConfig& other : before) {
             if (other.name == rule.name) Fail(n, k, "another rule has this name");
           }
         }},
        {"match", [&](const toml::node& n, const std::string& k) { rule.match = NonEmpty(n, k); }},
        {"case_sensitive", [&](const toml::node& n, const std::string& k) { rule.caseSensitive = Boolean(n, k); }},
        {"words", [&](const toml::node& n, const std::string& k) {
           rule.words = Strings(n, k);
           if (rule.words.empty()) Fail(n, k, "must not be empty");
         }},
        {"wildcard", [&](const toml::node& n, const std::string& k) {
           rule.wildcard = NonEmpty(n, k);
           if (rule.wildcard.find('\n') != std::string::npos) Fail(n, k, "must not contain a line break");
         }},
        {"regex", [&](const toml::node& n, const std::string& k) {
           if (!RegexAvailable()) Fail(n, k, "this build has no regular expression support (RE2)");
           rule.regex = NonEmpty(n, k);
           regexLine = n.source().begin.line;
         }},
        {"amount_after", [&](const toml::node& n, const std::string& k) { rule.amountAfter = NonEmpty(n, k); }},
        {"above", [&](const toml::node& n, const std::string& k) { rule.above = Number(n, k); }},
        {"below", [&](const toml::node& n, const std::string& k) { rule.below = Number(n, k); }},
        {"drawer", [&](const toml::node& n, const std::string& k) {
           const std::string value = String(n, k);
           if (value != "any" && value != "without_text") Fail(n, k, R"(must be "any" or "without_text")");
           rule.drawer = value == "any" ? DrawerCondition::kAny : DrawerCondition::kWithoutText;
         }},
        {"drawer_open_longer_than", [&](const toml::node& n, const std::string& k) {
           const double seconds = Number(n, k);
           if (seconds < 0.1 || seconds > 86400) Fail(n, k, "must be a number of seconds from 0.1 to 86400");
           rule.drawerOpenTenths = static_cast<int32_t>(std::lround(seconds * 10));
         }},
        {"drawer_open_level", [&](const toml::node& n, const std::string& k) {
           const std::string value = String(n, k);
           if (value != "high" && value != "low") Fail(n, k, R"(must be "high" or "low")");
           rule.drawerOpenHigh = value == "high";
         }},
        {"outputs", [&](const toml::node& n, const std::string& k) { rule.outputs = Strings(n, k); }},
    };
    ForEachKey(table, name, readers, {"name"});
    const auto failRule = [&](const std::string& key, const std::string& what) {
      FailAt(rule.line, name + "." + key, what);
    };
    if ((rule.above || rule.below) && rule.amountAfter.empty()) failRule("amount_after", "missing (above and below need it)");
    if (!rule.amountAfter.empty() && !rule.above && !rule.below) failRule("above", "missing (amount_after needs above or below)");
    if (table.contains("drawer_open_level") && !rule.WatchesDrawer()) {
      failRule("drawer_open_longer_than", "missing (drawer_open_level needs it)");
    }
    if (rule.WatchesDrawer() && rule.MatchesReceipts()) {
      failRule("drawer_open_longer_than", "cannot go with conditions on the receipt: make it a rule of its own");
    }
    if (!rule.WatchesDrawer() && !rule.MatchesReceipts()) failRule("match", "missing (a rule needs a condition)");
    if (!rule.regex.empty()) {
      std::string error;
      if (!CompileRegex(rule.regex, rule.caseSensitive, error)) FailAt(regexLine, name + ".regex", error);
    }
    return rule;
  }

  OcrConfig ReadOcr(const toml::table& table, const std::string& name) {
    OcrConfig ocr;
    ForEachKey(table, name, {
        {"enabled", [&](const toml::node& n, const std::string& k) {
           ocr.enabled = Boolean(n, k);
           if (ocr.enabled && !TextRecognitionAvailable()) Fail(n, k, "this build has no text recognition");
         }},
        {"languages", [&](const toml::node& n, const std::string& k) {
           ocr.languages = NonEmpty(n, k);
           for (const char c : ocr.languages) {
             if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '+' && c != '-') {
               Fail(n, k, R"(must be language codes joined by +, e.g. "eng+deu")");
             }
           }
         }},
    });
    return ocr;
  }

  EventOutputConfig ReadEventOutput(const toml::table& table, const std::string& name,
                                    const std::vector<EventOutputConfig>& earlier) {
    EventOutputConfig out;
    std::string typeName;
    std::map<std::string, KeyReader> readers{
        {"name", [&](const toml::node& n, const std::string& k) {
           out.name = NonEmpty(n, k);
           for (const EventOutputConfig& other : earlier) {
             if (other.name == out.name) Fail(n, k, "another [[event]] has this name");
           }
         }},
        {"type", [&](const toml::node& n, const std::string& k) {
           typeName = String(n, k);
           static const std::map<std::string, EventOutputType> kTypes{
               {"webhook", EventOutputType::kWebhook}, {"frigate", EventOutputType::kFrigate},
               {"zoneminder", EventOutputType::kZoneMinder}, {"nx", EventOutputType::kNx},
               {"milestone", EventOutputType::kMilestone}};
           const auto type = kTypes.find(typeName);
           if (type == kTypes.end()) Fail(n, k, R"(must be "webhook", "frigate", "zoneminder", "nx" or "milestone")");
           out.type = type->second;
           if (IsHttpEventOutput(out.type) && !HttpClientAvailable()) Fail(n, k, "this build has no HTTP client");
         }},
        {"queue", [&](const toml::node& n, const std::string& k) { out.queue = Integer(n, k, 1, 10000); }},
        {"url", [&](const toml::node& n, const std::string& k) {
           out.url = NonEmpty(n, k);
           if (out.url.rfind("http://", 0) != 0 && out.url.rfind("https://", 0) != 0) {
             Fail(n, k, "must begin with http:// or https://");
           }
         }},
        {"headers", [&](const toml::node& n, const std::string& k) {
           out.headers = Strings(n, k);
           for (const std::string& header : out.headers) {
             if (header.find(':') == std::string::npos || header.find_first_of("\r\n") != std::string::npos) {
               Fail(n, k, R"(each must be one line "Name: value")");
             }
           }
         }},
        {"auth", [&](const toml::node& n, const std::string& k) {
           const std::string value = String(n, k);
           static const std::map<std::string, EventAuth> kAuth{{"none", EventAuth::kNone}, {"basic", EventAuth::kBasic},
                                                               {"bearer", EventAuth::kBearer}, {"digest", EventAuth::kDigest}};
           const auto auth = kAuth.find(value);
           if (auth == kAuth.end()) Fail(n, k, R"(must be "none", "basic", "bearer" or "digest")");
           out.auth = auth->second;
         }},
        {"username", [&](const toml::node& n, const std::string& k) { out.username = NonEmpty(n, k); }},
        {"password", [&](const toml::node& n, const std::string& k) { out.password = String(n, k); }},
        {"png", [&](const toml::node& n, const std::string& k) { out.png = Picture(n, k); }},
        {"token", [&](const toml::node& n, const std::string& k) { out.token = NonEmpty(n, k); }},
        {"ca_file", [&](const toml::node& n, const std::string& k) { out.caFile = NonEmpty(n, k); }},
        {"camera", [&](const toml::node& n, const std::string& k) { out.camera = NonEmpty(n, k); }},
        {"label", [&](const toml::node& n, const std::string& k) { out.label = NonEmpty(n, k); }},
        {"cameras", [&](const toml::node& n, const std::string& k) { out.cameras = Strings(n, k); }},
        {"monitor", [&](const toml::node& n, const std::string& k) { out.monitor = NonEmpty(n, k); }},
        {"duration", [&](const toml::node& n, const std::string& k) { out.duration = Integer(n, k, 1, 3600); }},
        {"score", [&](const toml::node& n, const std::string& k) { out.score = Integer(n, k, 0, 100); }},
        {"host", [&](const toml::node& n, const std::string& k) { out.host = Host(n, k); }},
        {"port", [&](const toml::node& n, const std::string& k) { out.port = Integer(n, k, 1, 65535); }},
        {"protocol", [&](const toml::node& n, const std::string& k) {
           const std::string value = String(n, k);
           if (value != "tcp" && value != "udp") Fail(n, k, R"(must be "tcp" or "udp")");
           out.udp = value == "udp";
         }},
        {"template", [&](const toml::node& n, const std::string& k) { out.templateText = NonEmpty(n, k); }},
    };
    ForEachKey(table, name, readers, {"name", "type"});
    // Which keys each type takes, and which it needs.
    static const std::map<EventOutputType, std::pair<std::vector<std::string>, std::vector<std::string>>> kKeys{
        {EventOutputType::kWebhook, {{"url", "headers", "png", "auth", "username", "password", "token", "ca_file"}, {"url"}}},
        {EventOutputType::kFrigate,
         {{"url", "auth", "username", "password", "token", "ca_file", "camera", "label", "duration"}, {"url", "camera"}}},
        {EventOutputType::kNx, {{"url", "auth", "username", "password", "token", "ca_file", "cameras"}, {"url"}}},
        {EventOutputType::kZoneMinder, {{"host", "port", "monitor", "duration", "score"}, {"host", "monitor"}}},
        {EventOutputType::kMilestone, {{"host", "port", "protocol", "template"}, {"host"}}},
    };
    const auto& [allowed, needed] = kKeys.at(out.type);
    for (auto&& [key, node] : table) {
      const std::string keyName(key.str());
      if (keyName == "name" || keyName == "type" || keyName == "queue") continue;
      if (std::find(allowed.begin(), allowed.end(), keyName) == allowed.end()) {
        Fail(node, name + "." + keyName, "does not apply to type \"" + typeName + "\"");
      }
    }
    for (const std::string& key : needed) {
      if (!table.contains(key)) FailAt(table.source().begin.line, name + "." + key, "missing (type \"" + typeName + "\")");
    }
    if ((out.auth == EventAuth::kBasic || out.auth == EventAuth::kDigest) && out.username.empty()) {
      FailAt(table.source().begin.line, name + ".username", "missing (auth needs a username)");
    }
    if (out.auth == EventAuth::kBearer && out.token.empty()) {
      FailAt(table.source().begin.line, name + ".token", "missing (bearer auth needs a token)");
    }
    return out;
  }

  WebConfig ReadWeb(const toml::table& table, const std::string& name) {
    WebConfig web;
    const std::map<std::string, KeyReader> readers{
        {"users_file", [&](const toml::node& n, const std::string& k) { web.usersFile = NonEmpty(n, k); }},
        {"realm", [&](const toml::node& n, const std::string& k) {
           web.access.realm = NonEmpty(n, k);
           // It goes into a quoted string of the WWW-Authenticate field.
           for (const char c : web.access.realm) {
             if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
               Fail(n, k, "must not contain quotes, backslashes or control characters");
             }
           }
         }},
        {"metrics_public", [&](const toml::node& n, const std::string& k) { web.access.metricsPublic = Boolean(n, k); }},
        {"tls_cert", [&](const toml::node& n, const std::string& k) { web.access.tlsCert = NonEmpty(n, k); }},
        {"tls_key", [&](const toml::node& n, const std::string& k) { web.access.tlsKey = NonEmpty(n, k); }},
    };
    ForEachKey(table, name, readers);
    web.lines.emplace(name, table.source().begin.line);
    for (auto&& [key, node] : table) web.lines.emplace(name + "." + std::string(key.str()), node.source().begin.line);
    if (web.access.tlsCert.empty() != web.access.tlsKey.empty()) {
      FailAt(table.source().begin.line, name + "." + (web.access.tlsCert.empty() ? "tls_cert" : "tls_key"),
             "missing (tls_cert and tls_key go together)");
    }
    return web;
  }

  JournalConfig ReadJournal(const toml::table& table, const std::string& name) {
    JournalConfig journal;
    const std::map<std::string, KeyReader> readers{
        {"path", [&](const toml::node& n, const std::string& k) {
           journal.path = NonEmpty(n, k);
           journal.pathLine = n.source().begin.line;
         }},
        {"retention_days", [&](const toml::node& n, const std::string& k) { journal.retentionDays = Integer(n, k, 1, 36500); }},
        {"max_mb", [&](const toml::node& n, const std::string& k) { journal.maxMb = Integer(n, k, 1, 1048576); }},
        {"store_raw", [&](const toml::node& n, const std::string& k) { journal.storeRaw = Boolean(n, k); }},
    };
    ForEachKey(table, name, readers, {"path"});
    journal.tableLine = table.source().begin.line;
    return journal;
  }

  RenderConfig ReadRender(const toml::table& table, const std::string& name) {
    RenderConfig render;
    ForEachKey(table, name, {
        {"pictures", [&](const toml::node& n, const std::string& k) { render.pictures = Boolean(n, k); }},
        {"width_dots", [&](const toml::node& n, const std::string& k) { render.widthDots = Integer(n, k, 64, 4096); }},
    });
    return render;
  }

  std::string_view fileName_;
  bool mqttAvailable_;
};

}  // namespace

std::variant<OutputsConfig, ConfigError> ReadOutputsConfig(std::string_view text, std::string_view fileName,
                                                           bool mqttAvailable) {
  try {
    toml::parse_result parsed = toml::parse(text, fileName);
    if (!parsed) {
      const toml::parse_error& error = parsed.error();
      return ConfigError{std::string(fileName) + ":" + std::to_string(error.source().begin.line) + ": " +
                         std::string(error.description())};
    }
    return Reader(fileName, mqttAvailable).Read(parsed.table());
  } catch (const Problem& problem) {
    return ConfigError{problem.message};
  } catch (const std::exception& e) {
    return ConfigError{std::string(fileName) + ": " + e.what()};
  }
}

}  // namespace tavrik

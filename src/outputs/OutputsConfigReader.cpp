#include "outputs/OutputsConfigReader.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "outputs/HostSyntax.h"

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
        {"mask_card_numbers", [&](const toml::node& node, const std::string& key) {
           config.maskCardNumbers = Boolean(node, key);
         }},
        {"render", [&](const toml::node& node, const std::string& key) {
           const toml::table* table = node.as_table();
           if (!table) Fail(node, key, "must be a table: [render]");
           config.render = ReadRender(*table, key);
         }},
    });
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

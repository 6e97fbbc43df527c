#include "web/HttpRequestParser.h"

#include <algorithm>

namespace tavrik {
namespace {

// RFC 9110 token characters, for methods and field names.
bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsIgnoringCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The line at the start of text, without its LF or CR LF; rest is moved past it.
std::string_view TakeLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The end of the head (behind its empty line) in buffer, searched from
// `from`; npos while the empty line has not arrived. A bare LF ends a line
// too (RFC 9112 section 2.2).
size_t HeadEnd(std::string_view buffer, size_t from) {
  for (size_t i = buffer.find('\n', from); i != std::string_view::npos;
       i = buffer.find('\n', i + 1)) {
    if (i + 1 < buffer.size() && buffer[i + 1] == '\n') return i + 2;
    if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

}  // namespace

void HttpRequestParser::Append(std::string_view bytes) {
  if (bad_) return;
  buffer_.erase(0, consumed_);
  consumed_ = 0;
  buffer_.append(bytes);
}

HttpRequestParser::Result HttpRequestParser::Next(HttpRequest& request) {
  if (bad_) return Result::kBad;
  const std::string_view rest = std::string_view(buffer_).substr(consumed_);
  // Empty lines before a request are ignored (RFC 9112 section 2.2).
  const size_t start = rest.find_first_not_of("\r\n");
  if (start == std::string_view::npos) {
    if (rest.size() > kMaxHeadBytes) bad_ = true;
    return bad_ ? Result::kBad : Result::kIncomplete;
  }
  const size_t end = HeadEnd(rest, std::max(start, scanned_));
  if (end == std::string_view::npos || end - start > kMaxHeadBytes) {
    // The last two bytes may be the start of the empty line ("\n\r").
    scanned_ = rest.size() > 2 ? rest.size() - 2 : 0;
    if (rest.size() - start > kMaxHeadBytes) bad_ = true;
    return bad_ ? Result::kBad : Result::kIncomplete;
  }
  request = HttpRequest();
  const Result result = Parse(rest.substr(start, end - start), request);
  consumed_ += end;
  scanned_ = 0;
  if (consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  }
  if (result == Result::kBad) bad_ = true;
  return result;
}

void HttpRequestParser::Reset() {
  std::string().swap(buffer_);
  consumed_ = 0;
  scanned_ = 0;
  bad_ = false;
}

HttpRequestParser::Result HttpRequestParser::Parse(std::string_view head,
                                                   HttpRequest& request) const {
  std::string_view rest = head;
  const std::string_view requestLine = TakeLine(rest);
  // method SP target SP HTTP/1.x, single spaces (RFC 9112 section 3).
  const size_t firstSpace = requestLine.find(' ');
  const size_t secondSpace = requestLine.find(' ', firstSpace + 1);
  if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos)
    return Result::kBad;
  const std::string_view method = requestLine.substr(0, firstSpace);
  const std::string_view target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  const std::string_view version = requestLine.substr(secondSpace + 1);
  if (!IsToken(method) || target.empty() || target[0] != '/') return Result::kBad;
  if (std::any_of(target.begin(), target.end(), [](char c) { return c <= ' ' || c == 0x7F; })) {
    return Result::kBad;
  }
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return Result::kBad;
  request.method = method;
  const size_t question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string_view::npos) request.query = target.substr(question + 1);
  const bool http10 = version == "HTTP/1.0";
  request.http10 = http10;
  request.keepAlive = !http10;

  for (std::string_view line = TakeLine(rest); !line.empty(); line = TakeLine(rest)) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return Result::kBad;
    const std::string_view name = line.substr(0, colon);
    if (!IsToken(name)) return Result::kBad;  // also a folded line, which starts with a blank
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return (c < ' ' && c != '\t') || c == 0x7F; })) {
      return Result::kBad;
    }
    if (EqualsIgnoringCase(name, "Connection")) {
      if (ContainsIgnoringCase(value, "close")) request.keepAlive = false;
      if (http10 && ContainsIgnoringCase(value, "keep-alive")) request.keepAlive = true;
    } else if (EqualsIgnoringCase(name, "Last-Event-ID")) {
      request.lastEventId = value;
    } else if (EqualsIgnoringCase(name, "Content-Length")) {
      if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos) {
        return Result::kBad;
      }
      if (value.find_first_not_of('0') != std::string_view::npos) request.hasBody = true;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
      request.hasBody = true;
    }
  }
  return Result::kComplete;
}

}  // namespace tavrik

#include "web/HttpResponse.h"

namespace tavrik {
namespace {

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

}  // namespace

std::string HttpResponseHead(int status, std::string_view contentType,
                             std::optional<size_t> contentLength, bool keepAlive,
                             std::string_view extraFields) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " ";
  head += ReasonPhrase(status);
  head += "\r\nServer: TavrikSrv\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
  head += "Content-Type: ";
  head += contentType;
  head += "\r\n";
  if (contentLength) head += "Content-Length: " + std::to_string(*contentLength) + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  head += extraFields;
  head += "\r\n";
  return head;
}

std::string HttpErrorResponse(int status, bool keepAlive, bool withBody) {
  const std::string body = std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\n";
  std::string response = HttpResponseHead(status, "text/plain; charset=utf-8", body.size(),
                                          keepAlive, status == 405 ? "Allow: GET, HEAD\r\n" : "");
  if (withBody) response += body;
  return response;
}

}  // namespace tavrik

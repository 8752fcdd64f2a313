#pragma once

#include <memory>

#include "net/http_transport.h"

namespace orvane {

// HttpTransport over libcurl. Each request gets its own easy handle, so requests on different
// threads never share state; TLS uses the system's certificate store.
class CurlHttpTransport final : public HttpTransport {
public:
    CurlHttpTransport();
    HttpResponse send(const HttpRequest& request, std::stop_token stop = {}) override;
};

std::shared_ptr<HttpTransport> makeHttpTransport();

}  // namespace orvane

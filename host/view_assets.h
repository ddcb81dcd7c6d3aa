// What the live view serves and to whom: GET of a fixed list of the host's own files and of the
// stream, asked for through this very server's address. Nothing else is served, nothing is
// looked up on disk per request, and no request changes the host or the driver.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace vantrels::host {

struct ViewFile {
  std::string_view path;  // request target
  std::string_view file;  // below the view folder
  std::string_view contentType;
};

// The page, its script and style, and the 3D library with its licence.
inline constexpr ViewFile kViewFiles[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/index.html", "index.html", "text/html; charset=utf-8"},
    {"/view.js", "view.js", "text/javascript; charset=utf-8"},
    {"/view.css", "view.css", "text/css; charset=utf-8"},
    {"/three/three.min.js", "three/three.min.js", "text/javascript; charset=utf-8"},
    {"/three/OrbitControls.js", "three/OrbitControls.js", "text/javascript; charset=utf-8"},
    {"/three/CSS2DRenderer.js", "three/CSS2DRenderer.js", "text/javascript; charset=utf-8"},
    {"/three/LICENSE", "three/LICENSE", "text/plain; charset=utf-8"},
};
inline constexpr std::string_view kViewStreamPath = "/stream";
inline constexpr uint16_t kDefaultViewPort = 21180;

// Request target -> file contents, read once when the view starts.
using ViewAssets = std::map<std::string, std::string, std::less<>>;

// Reads every listed file from folder; false with the first unreadable one named.
bool LoadViewAssets(const std::filesystem::path &folder, ViewAssets &assets, std::string &error);

struct ViewRoute {
  enum Kind { File, Stream, Refused } kind = Refused;
  int status = 404;                // 200, 403 (foreign Host), 404 (not ours) or 405 (not GET)
  const ViewFile *file = nullptr;  // with File
};

// host is the request's only Host header; empty when it had none or several. A query string is
// ignored; the path itself must be one of the list, byte for byte (no decoding, no "..").
ViewRoute RouteViewRequest(std::string_view method, std::string_view target, std::string_view host, uint16_t port);

}  // namespace vantrels::host

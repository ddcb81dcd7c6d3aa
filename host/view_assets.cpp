#include "host/view_assets.h"

#include <fstream>
#include <iterator>

namespace vantrels::host {

bool LoadViewAssets(const std::filesystem::path &folder, ViewAssets &assets, std::string &error) {
  for (const ViewFile &f : kViewFiles) {
    const std::filesystem::path path = folder / std::filesystem::path(std::string(f.file));
    std::ifstream in(path, std::ios::binary);
    std::string body;
    if (in) body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      error = "cannot read the view's file " + path.string();
      return false;
    }
    assets[std::string(f.path)] = std::move(body);
  }
  return true;
}

ViewRoute RouteViewRequest(std::string_view method, std::string_view target, std::string_view host, uint16_t port) {
  // A page of another site reaching this port through a name of its own (DNS rebinding) sends
  // that name: only our own address is answered.
  const std::string_view name = host.substr(0, host.rfind(':'));
  const bool ours = (name == "127.0.0.1" || name == "localhost") && name.size() < host.size() &&
                    host.substr(name.size() + 1) == std::to_string(port);
  if (!ours) return {ViewRoute::Refused, 403};
  if (method != "GET") return {ViewRoute::Refused, 405};
  const std::string_view path = target.substr(0, target.find('?'));
  if (path == kViewStreamPath) return {ViewRoute::Stream, 200};
  for (const ViewFile &f : kViewFiles) {
    if (path == f.path) return {ViewRoute::File, 200, &f};
  }
  return {ViewRoute::Refused, 404};
}

}  // namespace vantrels::host

#include "platform/web/PageAssets.h"

#include <sodium.h>

#include "platform/web/internal/EmbeddedPage.h"

namespace pla013::web {

namespace {

std::string typeOf(const std::string& name) {
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    if (ext == "html") return "text/html; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    if (ext == "js") return "text/javascript; charset=utf-8";
    return "application/octet-stream";
}

std::string etagOf(std::string_view body) {
    unsigned char digest[16];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(body.data()), body.size(), nullptr,
                       0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return std::string("\"") + hex + "\"";
}

}  // namespace

const std::vector<PageAsset>& PageAssets::all() {
    static const std::vector<PageAsset> assets = [] {
        std::vector<PageAsset> out;
        for (const auto& f : internal::embeddedPageFiles()) {
            const std::string_view body(f.data, f.size);
            out.push_back({std::string("/") + f.name, typeOf(f.name), body, etagOf(body)});
        }
        return out;
    }();
    return assets;
}

const PageAsset* PageAssets::find(const std::string& path) {
    const std::string wanted = path == "/" ? "/index.html" : path;
    for (const auto& a : all())
        if (a.path == wanted) return &a;
    return nullptr;
}

std::size_t PageAssets::weight() {
    std::size_t total = 0;
    for (const auto& a : all()) total += a.body.size();
    return total;
}

}  // namespace pla013::web

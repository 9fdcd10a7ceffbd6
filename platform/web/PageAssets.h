#pragma once
// The page the web host serves: plain HTML, CSS and a small script of our
// own (platform/web/page), compiled in; no resource from anywhere else.

#include <string>
#include <string_view>
#include <vector>

namespace pla013::web {

struct PageAsset {
    std::string path;  // "/app.js"
    std::string contentType;
    std::string_view body;
    std::string etag;  // a quoted hash of the body
};

class PageAssets {
public:
    static const std::vector<PageAsset>& all();
    // The asset at a path ("/" is the page itself); null when none.
    static const PageAsset* find(const std::string& path);
    // Bytes of HTML, CSS and script together: what a first visit loads.
    static std::size_t weight();
};

}  // namespace pla013::web

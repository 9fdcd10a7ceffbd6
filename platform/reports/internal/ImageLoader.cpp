#include "platform/reports/internal/ImageLoader.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/reports/internal/Base64.h"

namespace pla013::reports::internal {

std::unique_ptr<ImageData> ImageLoader::load(const host::Variant& v) const {
    std::string src = v.toString();
    auto img = std::make_unique<ImageData>();
    if (src.rfind("data:", 0) == 0) {
        img->source = "dados embutidos";
        auto comma = src.find(";base64,");
        if (comma != std::string::npos) img->bytes = decodeBase64(src.substr(comma + 8));
    } else {
        std::filesystem::path path(src);
        if (path.is_relative() && !m_folder.empty()) path = std::filesystem::path(m_folder) / path;
        img->source = src;
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream s;
            s << in.rdbuf();
            img->bytes = s.str();
        }
    }
    return img;
}

}  // namespace pla013::reports::internal

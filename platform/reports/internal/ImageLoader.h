#pragma once

#include <memory>
#include <string>

#include "host/Variant.h"
#include "platform/reports/ImageData.h"

namespace pla013::reports::internal {

// Reads the photos that image items name: a data URI
// ("data:image/png;base64,...") or a path, relative ones from the report
// folder. An image that cannot be read comes back without bytes, so that its
// placeholder names its source.
class ImageLoader {
public:
    explicit ImageLoader(std::string folder) : m_folder(std::move(folder)) {}

    std::unique_ptr<ImageData> load(const host::Variant& value) const;

private:
    std::string m_folder;
};

}  // namespace pla013::reports::internal

#pragma once

#include <libheif/heif.h>

#include <memory>

namespace pivra::test {

// libheif's objects, each let go of by its own release function.
template<auto release>
struct HeifRelease {
    template<typename T>
    void operator()(T* object) const { release(object); }
};

using HeifContextPtr = std::unique_ptr<heif_context, HeifRelease<heif_context_free>>;
using HeifEncoderPtr = std::unique_ptr<heif_encoder, HeifRelease<heif_encoder_release>>;
using HeifImagePtr = std::unique_ptr<heif_image, HeifRelease<heif_image_release>>;
using HeifHandlePtr = std::unique_ptr<heif_image_handle, HeifRelease<heif_image_handle_release>>;
using HeifOptionsPtr = std::unique_ptr<heif_encoding_options, HeifRelease<heif_encoding_options_free>>;

inline bool heifOk(heif_error error)
{
    return error.code == heif_error_Ok;
}

} // namespace pivra::test

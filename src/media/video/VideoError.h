#pragma once

#include <exception>

namespace pivra {

// Why a video could not be turned into a preview clip. Like the catalog's
// error it carries no text: the caller only records that the clip failed.
class VideoError : public std::exception {
public:
    enum class Kind {
        corruptFile, // no video track that decodes, an empty frame size, or no frame in the clip's time
        writeFailed, // the encoder or the output file failed
    };

    explicit VideoError(Kind kind) noexcept : kind_(kind) {}

    Kind kind() const noexcept { return kind_; }
    const char* what() const noexcept override
    {
        return kind_ == Kind::corruptFile ? "the video cannot be read" : "the clip cannot be written";
    }

private:
    Kind kind_;
};

} // namespace pivra

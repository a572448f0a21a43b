#include "media/thumbnails/render/SrgbConversion.h"

#include <lcms2.h>

#include <list>
#include <memory>
#include <mutex>
#include <utility>

namespace pivra {
namespace {

struct TransformRelease {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformRelease>;

struct ProfileRelease {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileRelease>;

// Without lcms's one-pixel cache a transform may run on several threads at once.
Transform makeTransform(const QByteArray& iccProfile, bool gray)
{
    const Profile source(cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size())));
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!source || !srgb || cmsGetColorSpace(source.get()) != (gray ? cmsSigGrayData : cmsSigRgbData)) {
        return nullptr;
    }
    return Transform(cmsCreateTransform(source.get(), gray ? TYPE_GRAY_8 : TYPE_RGB_8, srgb.get(), TYPE_RGB_8,
                                        INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
}

// The transforms of the profiles met last, newest first; a profile that
// makes none keeps a null one, so it is not tried again and again.
class Transforms {
public:
    std::shared_ptr<void> of(const QByteArray& iccProfile, bool gray)
    {
        const std::lock_guard guard(mutex_);
        for (auto kept = kept_.begin(); kept != kept_.end(); ++kept) {
            if (kept->gray == gray && kept->profile == iccProfile) {
                kept_.splice(kept_.begin(), kept_, kept);
                return kept_.front().transform;
            }
        }
        // Made under the lock: threads meeting one new profile make it once.
        kept_.push_front({iccProfile, gray, std::shared_ptr<void>(makeTransform(iccProfile, gray))});
        if (kept_.size() > keptProfiles) {
            kept_.pop_back();
        }
        return kept_.front().transform;
    }

private:
    static constexpr std::size_t keptProfiles = 8;
    struct Kept {
        QByteArray profile;
        bool gray = false;
        std::shared_ptr<void> transform;
    };
    std::mutex mutex_;
    std::list<Kept> kept_;
};

} // namespace

QImage convertedToSrgb(const QImage& image, const QByteArray& iccProfile)
{
    const bool gray = image.format() == QImage::Format_Grayscale8;
    if (iccProfile.isEmpty() || image.isNull() || (!gray && image.format() != QImage::Format_RGB888)) {
        return image;
    }
    static Transforms transforms;
    const std::shared_ptr<void> transform = transforms.of(iccProfile, gray);
    if (!transform) {
        return image;
    }
    QImage converted(image.size(), QImage::Format_RGB888);
    if (converted.isNull()) {
        return image;
    }
    cmsDoTransformLineStride(transform.get(), image.constBits(), converted.bits(), cmsUInt32Number(image.width()),
                             cmsUInt32Number(image.height()), cmsUInt32Number(image.bytesPerLine()),
                             cmsUInt32Number(converted.bytesPerLine()), 0, 0);
    return converted;
}

} // namespace pivra

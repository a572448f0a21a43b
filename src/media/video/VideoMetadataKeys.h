#pragma once

#include <QString>
#include <optional>

namespace pivra {

// The platform's identifier ("keySpace/key") for a container tag as FFmpeg's
// demuxer names it, for the tags the platform counts as common metadata:
// reverse-DNS QuickTime keys from the `mdta` list keep their name
// ("mdta/com.apple.quicktime.location.ISO6709"); the classic user-data atoms,
// which FFmpeg renames ("location", "make"…), get their four-character codes
// back with the © escaped ("udta/%A9xyz"). FFmpeg's own keys (major_brand,
// creation_time, handler_name…) and tags without a common meaning give nothing.
std::optional<QString> platformIdentifier(const QString& tag);

} // namespace pivra

#pragma once

#include <QAnyStringView>
#include <QByteArrayView>
#include <QString>
#include <QStringBuilder>
#include <QStringView>
#include <QUtf8StringView>

#include <functional>
#include <string_view>
#include <type_traits>

namespace pivra::detail {

// Types that only refer to text or objects owned by someone else. Handed to
// another thread they are read there after the caller's temporaries are gone:
// with QT_USE_QSTRINGBUILDER, `a + QStringLiteral("b")` is such a type.
template<typename T>
struct Borrows : std::false_type {};
template<typename A, typename B>
struct Borrows<QStringBuilder<A, B>> : std::true_type {};
template<typename T>
struct Borrows<std::reference_wrapper<T>> : std::true_type {};
template<bool IsUtf8>
struct Borrows<QBasicUtf8StringView<IsUtf8>> : std::true_type {};
template<typename Char, typename Traits>
struct Borrows<std::basic_string_view<Char, Traits>> : std::true_type {};
template<>
struct Borrows<QStringView> : std::true_type {};
template<>
struct Borrows<QLatin1String> : std::true_type {};
template<>
struct Borrows<QByteArrayView> : std::true_type {};
template<>
struct Borrows<QAnyStringView> : std::true_type {};

template<typename T>
inline constexpr bool borrows = Borrows<std::remove_cvref_t<T>>::value;

// Arguments that cross to another thread must be values of their own.
template<typename... Args>
constexpr void requireOwnedArguments()
{
    static_assert((!borrows<Args> && ...),
                  "an argument handed to another thread refers to data it does not own (a string "
                  "builder, a view or a reference wrapper); wrap it in QString(...) or pass a value");
}

} // namespace pivra::detail

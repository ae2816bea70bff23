#include "PathNames.h"

namespace varnok {

bool isAbsolutePath(std::u16string_view path)
{
    const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
        path[1] == u':' && separator(path[2]))
        return true;
    // A UNC or device path needs a name after the two separators.
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
}

std::u16string collisionName(std::u16string_view path, unsigned n)
{
    const std::size_t component = path.find_last_of(u"\\/");
    const std::size_t dot = path.rfind(u'.');
    const std::size_t cut = (dot == std::u16string_view::npos || (component != std::u16string_view::npos && dot < component))
                                ? path.size()
                                : dot;
    std::u16string name(path.substr(0, cut));
    name += u'_';
    for (char16_t digit : std::to_string(n))
        name += digit;
    name += path.substr(cut);
    return name;
}

}  // namespace varnok

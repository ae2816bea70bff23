#include <string>

#include "ReaderParts.h"

namespace varnok::pdf {

namespace {

ColourModel::Family familyOf(int components, int number)
{
    switch (components) {
    case 1: return ColourModel::Family::Gray;
    case 3: return ColourModel::Family::Rgb;
    case 4: return ColourModel::Family::Cmyk;
    default: break;
    }
    throw Fault{Stage::Images, number, "colour space with " + std::to_string(components) + " components"};
}

}  // namespace

ColourModel colourModel(Document& document, const Object& given, int number, bool allowIndexed)
{
    const Object& space = document.resolve(given);
    ColourModel model;
    const Name* name = space.name();
    const Array* array = space.array();
    if (array && !array->empty())
        name = document.resolve((*array)[0]).name();
    if (!name)
        throw Fault{Stage::Images, number, "no colour space"};
    const std::string& family = name->text;
    if (family == "DeviceGray" || family == "G" || family == "CalGray")
        return model;
    if (family == "DeviceRGB" || family == "RGB" || family == "CalRGB") {
        model.family = ColourModel::Family::Rgb;
        model.components = 3;
        return model;
    }
    if (family == "DeviceCMYK" || family == "CMYK") {
        model.family = ColourModel::Family::Cmyk;
        model.components = 4;
        return model;
    }
    if (family == "ICCBased" && array && array->size() >= 2) {
        const Object& profile = document.resolve((*array)[1]);
        const int components = static_cast<int>(integerOf(profile.dict() ? lookup(*profile.dict(), "N") : nullptr, 0));
        model.family = familyOf(components, number);
        model.components = components;
        return model;
    }
    if ((family == "Separation" || family == "DeviceN") && array && array->size() >= 2) {
        const Object& names = document.resolve((*array)[1]);
        if (family == "DeviceN" && (!names.array() || names.array()->size() != 1))
            throw Fault{Stage::Images, number, "DeviceN colour space with several inks"};
        model.family = ColourModel::Family::Separation;  // the amount of one ink: 1 is full ink, dark
        return model;
    }
    if ((family == "Indexed" || family == "I") && allowIndexed && array && array->size() >= 4) {
        ColourModel base = colourModel(document, (*array)[1], number, false);
        const long long highest = integerOf(&document.resolve((*array)[2]), -1);
        if (highest < 0 || highest > 255)
            throw Fault{Stage::Images, number, "bad palette size"};
        base.indexed = true;
        base.highest = static_cast<int>(highest);
        const std::size_t size = std::size_t(highest + 1) * base.components;
        const Object* lookupObject = &(*array)[3];
        const int lookupNumber = lookupObject->ref() ? lookupObject->ref()->number : number;
        const Object& table = document.resolve(*lookupObject);
        if (const std::string* bytes = table.string())
            base.palette.assign(bytes->begin(), bytes->end());
        else if (table.stream())
            base.palette = document.streamData(*table.stream(), lookupNumber, size).bytes;
        base.palette.resize(size, 0);
        base.components = 1;
        return base;
    }
    throw Fault{Stage::Images, number, "unsupported colour space " + family};
}

std::uint8_t grayOf(ColourModel::Family family, const std::uint8_t* v)
{
    switch (family) {
    case ColourModel::Family::Gray:
        return v[0];
    case ColourModel::Family::Separation:
        return static_cast<std::uint8_t>(255 - v[0]);
    case ColourModel::Family::Rgb:
        return static_cast<std::uint8_t>((v[0] * 299u + v[1] * 587u + v[2] * 114u + 500u) / 1000u);
    case ColourModel::Family::Cmyk:
        return static_cast<std::uint8_t>(255 - std::min(255u, (v[0] * 30u + v[1] * 59u + v[2] * 11u) / 100u + v[3]));
    }
    return 255;
}

}  // namespace varnok::pdf

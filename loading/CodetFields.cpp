#include "CodetFields.h"

#include <new>

#include "fields/FieldReader.h"
#include "platform/ComError.h"
#include "platform/UserLocale.h"
#include "CodetData.h"
#include "StatusTexts.h"

namespace varnok {

CodetFields decodeCodetFields(std::u16string_view codetString)
{
    CodetFields result;
    ReaderState state;
    std::u16string document;
    CodetStep step = CodetStep::ResetAttempts;
    try {
        try {
            result.status = decodeCodet(state, codetString, document, step);
        } catch (const std::bad_alloc&) {
            throw Failure(E_OUTOFMEMORY, describeCode(E_OUTOFMEMORY));
        }
    } catch (const Failure& failure) {
        result.status = codetFailureStatus(failure, step);
        return result;
    }
    if (result.status != status::ok)
        return result;
    const UserLocale locale;
    for (std::size_t i = 0; i < fields::fieldCount; ++i) {
        try {
            result.values[i] = fields::readField(static_cast<fields::Field>(i), state.DataRoot, locale);
        } catch (const Failure&) {
            // The property raises its error here; the cell stays empty.
        }
    }
    return result;
}

}  // namespace varnok

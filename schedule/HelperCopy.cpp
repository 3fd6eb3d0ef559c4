#include "schedule/HelperCopy.h"

#include "schedule/ModulesDocument.h"

namespace vantrel {

bool storeHelperCopy(Preferences& applicationPreferences, const ModuleList& modules,
                     ClassicEventRepeat eventRepeat, std::string* error)
{
    applicationPreferences.setValue(HelperModulesKey, modulesToPropertyList(modules));
    applicationPreferences.setValue(HelperEventRepeatKey, eventRepeatToData(eventRepeat));
    return applicationPreferences.synchronize(error);
}

std::optional<HelperCopy> readHelperCopy(const Preferences& preferences, std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    message.clear();
    const PropertyValue* modules = preferences.value(HelperModulesKey);
    const PropertyValue* repeat = preferences.value(HelperEventRepeatKey);
    if (!modules || !repeat)
        return std::nullopt;
    HelperCopy copy;
    if (!modulesFromPropertyList(*modules, &copy.modules, &message)) {
        message = std::string("\"") + HelperModulesKey + "\": " + message;
        return std::nullopt;
    }
    if (!eventRepeatFromData(*repeat, &copy.eventRepeat, &message))
        return std::nullopt;
    return copy;
}

} // namespace vantrel

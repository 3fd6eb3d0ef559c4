#include "editor/ApplicationPreferences.h"

#include <memory>

namespace vantrel {
namespace {

std::unique_ptr<Preferences>& instance()
{
    static std::unique_ptr<Preferences> preferences;
    return preferences;
}

} // namespace

Preferences& applicationPreferences()
{
    auto& preferences = instance();
    if (!preferences)
        preferences = std::make_unique<Preferences>(ApplicationDomain);
    return *preferences;
}

void resetApplicationPreferences()
{
    instance().reset();
}

} // namespace vantrel

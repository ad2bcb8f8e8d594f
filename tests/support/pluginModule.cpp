#include "tests/support/pluginModule.h"

PluginModule::PluginModule(const char *path) : module_(LoadLibraryA(path))
{
    EXPECT_NE(module_, nullptr) << "cannot load " << path << ", error " << GetLastError();
}

PluginModule::~PluginModule()
{
    unload();
}

void PluginModule::unload()
{
    if (module_ != nullptr)
        FreeLibrary(module_);
    module_ = nullptr;
}

#include "processor/PresetManager.h"

std::string PresetManager::getPresetName() const
{
    return tree.getProperty ("preset_name").toString().toStdString();
}

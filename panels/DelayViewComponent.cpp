#include "DelayViewComponent.h"

DelayViewComponent::DelayViewComponent()
{
    addAndMakeVisible (patternPanel);
}

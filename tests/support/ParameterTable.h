#pragma once

/** The host parameters a host must see, in their order: ID, display name, whether the parameter
    is one of the three whole-number modes, and the state-tree node and property it stands for. */
namespace ParameterTable
{
struct Row
{
    const char* id;
    const char* name;
    bool isMode;
    const char* node;
    const char* property;
};

inline constexpr Row rows[] = {
    { "automation_frequency_value", "Automation Frequency Value", false, "automation_frequency", "value" },
    { "automation_frequency_amount", "Automation Frequency Amount", false, "automation_frequency", "scale_y" },
    { "automation_bandwidth_value", "Automation Bandwidth Value", false, "automation_bandwidth", "value" },
    { "automation_bandwidth_amount", "Automation Bandwidth Amount", false, "automation_bandwidth", "scale_y" },
    { "automation_amplitude_value", "Automation Amplitude Value", false, "automation_amplitude", "value" },
    { "automation_amplitude_amount", "Automation Amplitude Amount", false, "automation_amplitude", "scale_y" },
    { "automation_pan_value", "Automation Pan Value", false, "automation_pan", "value" },
    { "automation_pan_amount", "Automation Pan Amount", false, "automation_pan", "scale_y" },
    { "ondula_frequency_amount", "Ondula Frequency Amount", false, "ondula_frequency", "scale" },
    { "ondula_frequency_phase", "Ondula Frequency Phase", false, "ondula_frequency", "phase" },
    { "ondula_bandwidth_amount", "Ondula Bandwidth Amount", false, "ondula_bandwidth", "scale" },
    { "ondula_bandwidth_phase", "Ondula Bandwidth Phase", false, "ondula_bandwidth", "phase" },
    { "ondula_amplitude_amount", "Ondula Amplitude Amount", false, "ondula_amplitude", "scale" },
    { "ondula_amplitude_phase", "Ondula Amplitude Phase", false, "ondula_amplitude", "phase" },
    { "ondula_pan_amount", "Ondula Pan Amount", false, "ondula_pan", "scale" },
    { "ondula_pan_phase", "Ondula Pan Phase", false, "ondula_pan", "phase" },
    { "ondula_delay_amount", "Ondula Delay Amount", false, "ondula_delay", "scale" },
    { "ondula_delay_phase", "Ondula Delay Phase", false, "ondula_delay", "phase" },
    { "delay_globals_ondula_time_mode", "delay_globals_ondula_time_mode", true, "delay_globals_ondula", "time_mode" },
    { "delay_globals_ondula_wavelength", "delay_globals_ondula_wavelength", false, "delay_globals_ondula", "wavelength" },
    { "delay_globals_ondula_phase", "delay_globals_ondula_phase", false, "delay_globals_ondula", "phase" },
    { "delay_globals_ondula_velocity", "delay_globals_ondula_velocity", false, "delay_globals_ondula", "velocity" },
    { "delay_globals_ondula_amount", "delay_globals_ondula_amount", false, "delay_globals_ondula", "amount" },
    { "delay_globals_time_time_mode", "delay_globals_time_time_mode", true, "delay_globals_time", "time_mode" },
    { "delay_globals_time_pattern_mode", "delay_globals_time_pattern_mode", true, "delay_globals_time", "pattern_mode" },
    { "delay_globals_time_time", "delay_globals_time_time", false, "delay_globals_time", "time" },
    { "delay_globals_dynamics_dry", "delay_globals_dynamics_dry", false, "delay_globals_dynamics", "dry" },
    { "delay_globals_dynamics_wet", "delay_globals_dynamics_wet", false, "delay_globals_dynamics", "wet" },
    { "delay_globals_dynamics_compressor_threshold", "delay_globals_compressor_threshold", false, "delay_globals_dynamics", "compressor_threshold" },
    { "delay_globals_dynamics_compressor_slope", "delay_globals_compressor_slope", false, "delay_globals_dynamics", "compressor_slope" },
};
} // namespace ParameterTable

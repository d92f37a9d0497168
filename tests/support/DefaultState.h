#pragma once

/** What a freshly constructed processor's state tree looks like when written out. */
namespace DefaultState
{
// The framework writes doubles below 1 with 16 decimals, so the stored single-precision defaults
// appear as 0.2000000029802322 and 0.300000011920929.
inline constexpr const char* treeXml =
    "<top version=\"100\" software=\"ondula_delay\" preset_name=\"Default Preset\">"
    "<automation>"
    "<automation_frequency value=\"0.2000000029802322\" scale_y=\"0.300000011920929\" curve=\"0 1 -0.1&#10;1 0 0&#10;\"/>"
    "<automation_amplitude value=\"0.0\" scale_y=\"1.0\" curve=\"0 1 0&#10;1 0 0&#10;\"/>"
    "<automation_bandwidth value=\"0.2000000029802322\" scale_y=\"0.300000011920929\" curve=\"0 1 -0.1&#10;1 0 0&#10;\"/>"
    "<automation_pan value=\"0.5\" scale_y=\"0.0\" curve=\"0 0 0&#10;1 0 0&#10;\"/>"
    "</automation>"
    "<ondula>"
    "<ondula_frequency scale=\"0.25\" phase=\"0.0\" curve=\"0 0.5 0&#10;\"/>"
    "<ondula_amplitude scale=\"0.5\" phase=\"0.0\" curve=\"0 0 0&#10;\"/>"
    "<ondula_bandwidth scale=\"0.25\" phase=\"0.75\" curve=\"0 1 0&#10;\"/>"
    "<ondula_pan scale=\"0.5\" phase=\"0.0\" curve=\"0 0 0&#10;\"/>"
    "<ondula_delay scale=\"0.5\" phase=\"0.0\" curve=\"0 1 0&#10;\"/>"
    "</ondula>"
    "<delay>"
    "<delay_pattern time=\"0.5\" time_mode=\"0\" pattern_l=\"01100110100110010101010110101010\" pattern_r=\"00011001011001101010101001010101\"/>"
    "<delay_globals time_mode=\"1\" dry=\"0.5\" wet=\"0.5\" wavelength=\"0.5\" phase=\"0.5\" velocity=\"0.5\"/>"
    "<delay_globals_ondula time_mode=\"1\" wavelength=\"0.5\" phase=\"0.5\" velocity=\"0.5\" amount=\"0.5\"/>"
    "<delay_globals_time time_mode=\"1\" pattern_mode=\"0\" time=\"0.5\" feedback_amplitude=\"0.0\" feedback_frequency=\"0.5\" feedback_width=\"0.5\"/>"
    "<delay_globals_dynamics dry=\"0.5\" wet=\"0.5\" compressor_threshold=\"1.0\" compressor_slope=\"0.5\"/>"
    "</delay>"
    "</top>";
} // namespace DefaultState

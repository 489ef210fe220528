#pragma once

// The program's version text, shown in the banner and the configuration report.
inline constexpr const char program_version[] = "Version 2.83b";

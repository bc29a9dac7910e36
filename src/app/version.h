#pragma once

// The program's name and version as the window caption and --version show them.
inline constexpr char kProgramTitle[] = "Varnel 1.6";

#pragma once

namespace sim {
// Degrees on the wire and in files, radians in the model.
inline constexpr double Pi = 3.14159265358979323846;
} // namespace sim

#pragma once

// The eight grab points of a crop rectangle: four sides, then four corners.

namespace tavrin {

enum class CropEdge { left, right, top, bottom, topLeft, topRight, bottomLeft, bottomRight };

inline bool isCorner(CropEdge edge) { return edge >= CropEdge::topLeft; }

} // namespace tavrin

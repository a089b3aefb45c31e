// The drawing window, its frame cycle and events, and the shape raster rules, through SDL2.
#pragma once

namespace orvane {

// One per interpreter; SDL is started only when a script opens a window.
class GraphicsContext {
 public:
  GraphicsContext() = default;
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;
};

}  // namespace orvane

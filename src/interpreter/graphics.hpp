// The drawing window, its frame cycle and events, and the shape raster rules, through SDL2.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "interpreter/value.hpp"

// SDL's own handle types, declared here so that this header does not pull in SDL.
struct SDL_Window;
struct SDL_Renderer;

namespace orvane {

// One per interpreter; SDL is started only when a script opens a window, and shut down when the
// context goes away. Used only from the thread that runs the interpreter.
class GraphicsContext {
 public:
  GraphicsContext() = default;
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  // Opens the one window of this context, `width` by `height` pixels. Does nothing once a window
  // exists. Any failure is silent: whatever this call started is released again, nothing is
  // kept, and a later call tries afresh.
  void open_window(uint32_t width, uint32_t height);

  bool has_window() const { return m_renderer != nullptr; }
  // True from a successful open until `present` sees a close request.
  bool is_open() const { return m_open; }
  std::optional<std::pair<uint32_t, uint32_t>> window_size() const;

  // Shows the frame, then drains the event queue; a quit request or Escape closes.
  void present();
  // Fills the frame with opaque black.
  void clear();

  // Paints `shape` (a Rect, Circle or Triangle) outlined or solid; other values paint nothing.
  void draw(const Value& shape, ColorRGB color);
  void fill(const Value& shape, ColorRGB color);

  // The renderer, for reading back pixels in tests; null without a window.
  SDL_Renderer* renderer() const { return m_renderer; }

 private:
  // The colour as last set on the renderer, packed as 0xRRGGBBAA.
  using DrawColor = std::optional<uint32_t>;

  void use_color(ColorRGB color);

  bool m_events = false;  // the event subsystem is ours to poll
  SDL_Window* m_window = nullptr;
  SDL_Renderer* m_renderer = nullptr;
  DrawColor m_draw_color;
  bool m_initialised = false;
  bool m_open = false;
};

}  // namespace orvane

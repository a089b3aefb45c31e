// The graphics context, the window and frame builtins, and the raster rules of the shapes.
//
// Every shape is reduced to points and horizontal spans in exact integer arithmetic, clipped to
// the render target, and handed to SDL in one batch per shape. The pixels are those that the
// one-call-per-point (or per-line) description of each rule gives, but the cost no longer grows
// with the part of a shape that lies outside the window, and SDL's float coordinates never see a
// value large enough to lose precision.
#include "interpreter/graphics.hpp"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "interpreter/builtins.hpp"
#include "support/library.hpp"

namespace orvane {

namespace {

// SDL is loaded when a script first opens a window: scripts that never draw start without it
// and the dozens of libraries it brings along.
// clang-format 14 never settles on a layout for this list.
// clang-format off
#define ORVANE_SDL_FUNCTIONS(X)                                                                 \
  X(Init) X(InitSubSystem) X(Quit) X(QuitSubSystem) X(CreateWindow) X(DestroyWindow)          \
  X(CreateRenderer) X(DestroyRenderer) X(GetWindowSize)                                       \
  X(GetRendererOutputSize) X(RenderPresent) X(PollEvent) X(SetRenderDrawColor) X(RenderClear) \
  X(RenderDrawPoints) X(RenderFillRects) X(SetHint) X(GetCurrentVideoDriver)
// clang-format on

struct SdlLibrary {
#define ORVANE_SDL_POINTER(name) decltype(&::SDL_##name) name = nullptr;
  ORVANE_SDL_FUNCTIONS(ORVANE_SDL_POINTER)
#undef ORVANE_SDL_POINTER
  bool loaded = false;
};

SdlLibrary load_sdl() {
  SdlLibrary lib;
#define ORVANE_SDL_SYMBOL(name) {"SDL_" #name, reinterpret_cast<void**>(&lib.name)},
  lib.loaded = !library::open("libSDL2-2.0.so.0", {ORVANE_SDL_FUNCTIONS(ORVANE_SDL_SYMBOL)});
#undef ORVANE_SDL_SYMBOL
  return lib;
}

const SdlLibrary& sdl() {
  static const SdlLibrary lib = load_sdl();
  return lib;
}

// ---- Choosing a display ------------------------------------------------------------------------

// Xlib's error event, laid out as <X11/Xlib.h> declares it; that header's macros are kept out
// of this file.
struct XlibErrorEvent {
  int type;
  void* display;
  unsigned long resource_id;
  unsigned long serial;
  unsigned char error_code;
  unsigned char request_code;
  unsigned char minor_code;
};
using XlibErrorHandler = int (*)(void*, XlibErrorEvent*);
constexpr unsigned char XLIB_BAD_WINDOW = 3;

// Set when the X server reports that our window no longer exists (another client destroyed
// it); read by the context's is_open.
bool g_window_destroyed = false;

// Xlib's own handler prints the error and ends the process. Errors about a window that has
// gone mean the window is closed; the rest concern requests SDL can do without.
int on_xlib_error(void*, XlibErrorEvent* event) {
  if (event->error_code == XLIB_BAD_WINDOW) g_window_destroyed = true;
  return 0;
}

// Installs on_xlib_error in the X library, before SDL loads it: SDL keeps the handler it finds
// as the one to fall back on (its own passes every error on to it) and puts it back when it
// shuts down, so it stays in force until the last request on the window has been answered.
void handle_xlib_errors() {
  static const bool installed = [] {
    XlibErrorHandler (*set_handler)(XlibErrorHandler) = nullptr;
    if (library::open("libX11.so.6",
                      {{"XSetErrorHandler", reinterpret_cast<void**>(&set_handler)}}))
      return false;
    set_handler(on_xlib_error);
    return true;  // the library stays loaded with the handler in it
  }();
  (void)installed;
}

// The video drivers to try when the user named none: only those with a display to show on,
// chosen from the environment so that probing the others prints nothing. SDL's offscreen and
// dummy drivers show nothing, so they are never chosen on the user's behalf.
std::vector<const char*> display_drivers() {
  std::vector<const char*> drivers;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (wayland && *wayland && (wayland[0] == '/' || (runtime && *runtime)))
    drivers.push_back("wayland");
  const char* x11 = std::getenv("DISPLAY");
  if (x11 && *x11) drivers.push_back("x11");
  return drivers;
}

bool user_chose_driver() {
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  return chosen && *chosen;
}

// Starts SDL's video subsystem on a driver that shows something, or on the user's choice.
bool start_video() {
  if (user_chose_driver()) {
    handle_xlib_errors();
    return sdl().InitSubSystem(SDL_INIT_VIDEO) == 0;
  }
  for (const char* driver : display_drivers()) {
    if (std::string_view(driver) == "x11") handle_xlib_errors();
    sdl().SetHint(SDL_HINT_VIDEODRIVER, driver);
    if (sdl().InitSubSystem(SDL_INIT_VIDEO) != 0) continue;
    const char* current = sdl().GetCurrentVideoDriver();
    if (current && std::string_view(current) == driver) return true;
    sdl().QuitSubSystem(SDL_INIT_VIDEO);
  }
  return false;
}

// Coordinates are clamped into this range and sizes into 1..COORD_MAX before anything is drawn.
constexpr int64_t COORD_MIN = -(int64_t{1} << 30);
constexpr int64_t COORD_MAX = (int64_t{1} << 30) - 1;
// Window sizes at or above this are refused before SDL is asked for a window.
constexpr uint32_t MAX_WINDOW_SIDE = uint32_t{1} << 31;

// Products of two line lengths need more than 64 bits.
__extension__ typedef __int128 Wide;

int64_t clamp_coord(int64_t v) { return std::clamp(v, COORD_MIN, COORD_MAX); }
int64_t clamp_size(uint32_t v) { return v == 0 ? 1 : std::min<int64_t>(v, COORD_MAX); }

// Signed 32-bit arithmetic with two's-complement wraparound.
int32_t wrap(uint32_t v) { return static_cast<int32_t>(v); }
int32_t wrap_add(int32_t a, int32_t b) {
  return wrap(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t wrap_sub(int32_t a, int32_t b) {
  return wrap(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

uint32_t pack(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return uint32_t{r} << 24 | uint32_t{g} << 16 | uint32_t{b} << 8 | a;
}

// Collects the pixels of one shape, clipped to a target of `width` by `height`, and paints them
// with one SDL call per kind when it goes out of scope. Spans are merged first: overlapping ones
// on a row become one, and equal ones on successive rows one taller box, so SDL fills each
// pixel about once and gets few rectangles. The buffers are reused between shapes.
class Painter {
 public:
  explicit Painter(SDL_Renderer* renderer) : m_renderer(renderer), m_buffers(buffers()) {
    if (sdl().GetRendererOutputSize(renderer, &m_width, &m_height) != 0) m_width = m_height = 0;
    Buffers& b = m_buffers;
    b.points.clear();
    b.rects.clear();
    if (b.by_row.size() < static_cast<size_t>(m_height)) b.by_row.resize(m_height, EMPTY);
    b.first_row = m_height;
    b.last_row = -1;
  }
  ~Painter() {
    Buffers& b = m_buffers;
    merge_rows();
    // Failures SDL reports here leave nothing to undo; the rest of the frame still draws.
    if (!b.points.empty())
      sdl().RenderDrawPoints(m_renderer, b.points.data(), static_cast<int>(b.points.size()));
    if (!b.rects.empty())
      sdl().RenderFillRects(m_renderer, b.rects.data(), static_cast<int>(b.rects.size()));
  }
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  int64_t width() const { return m_width; }
  int64_t height() const { return m_height; }

  void point(int64_t x, int64_t y) {
    x = clamp_coord(x);
    y = clamp_coord(y);
    if (x >= 0 && x < m_width && y >= 0 && y < m_height)
      m_buffers.points.push_back({static_cast<int>(x), static_cast<int>(y)});
  }

  // The pixels from column `x1` to column `x2` (either order, both included) on row `y`.
  void span(int64_t x1, int64_t x2, int64_t y) {
    x1 = clamp_coord(x1);
    x2 = clamp_coord(x2);
    y = clamp_coord(y);
    if (x1 > x2) std::swap(x1, x2);
    x1 = std::max<int64_t>(x1, 0);
    x2 = std::min<int64_t>(x2, m_width - 1);
    if (y < 0 || y >= m_height || x1 > x2) return;
    Span s{static_cast<int>(y), static_cast<int>(x1), static_cast<int>(x2)};
    Buffers& b = m_buffers;
    // Spans that overlap or touch the one kept for their row join it; one apart from it (the
    // two sides of an outline) is painted as it is.
    Span& slot = b.by_row[s.row];
    if (slot.row < 0) {
      slot = s;
      b.first_row = std::min(b.first_row, s.row);
      b.last_row = std::max(b.last_row, s.row);
    } else if (s.left <= slot.right + 1 && slot.left <= s.right + 1) {
      slot.left = std::min(slot.left, s.left);
      slot.right = std::max(slot.right, s.right);
    } else {
      box(s.left, s.row, s.right, s.row);
    }
  }

  // The solid box with corners (left, top) and (right, bottom), both included.
  void box(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, m_width - 1);
    bottom = std::min<int64_t>(bottom, m_height - 1);
    if (left > right || top > bottom) return;
    int64_t width = right - left + 1, height = bottom - top + 1;
    // SDL fills rows of 16 pixels or more with non-temporal stores, which is several times
    // slower than plain stores for the short rows that shapes are made of, and faster only for
    // long ones: short boxes go in slices narrow enough to take the plain path.
    int64_t slice = width < WIDE_ROW ? NARROW_ROW : width;
    for (int64_t x = left; x <= right; x += slice)
      m_buffers.rects.push_back({static_cast<int>(x), static_cast<int>(top),
                                 static_cast<int>(std::min(slice, right - x + 1)),
                                 static_cast<int>(height)});
  }

 private:
  static constexpr int64_t NARROW_ROW = 15;
  static constexpr int64_t WIDE_ROW = 256;

  struct Span {
    int row, left, right;
  };
  static constexpr Span EMPTY{-1, 0, -1};
  struct Buffers {
    std::vector<SDL_Point> points;
    std::vector<SDL_Rect> rects;
    // One span per row, indexed by row; rows first_row..last_row are in use and go back to
    // EMPTY once painted.
    std::vector<Span> by_row;
    int first_row = 0, last_row = -1;
  };
  static Buffers& buffers() {
    static thread_local Buffers b;
    return b;
  }

  // The single-span rows: a run of rows with equal spans becomes one box.
  void merge_rows() {
    Buffers& b = m_buffers;
    int top = -1;
    for (int row = b.first_row; row <= b.last_row + 1; ++row) {
      bool more = row <= b.last_row && b.by_row[row].row >= 0;
      if (top >= 0 && !(more && b.by_row[row].left == b.by_row[top].left &&
                        b.by_row[row].right == b.by_row[top].right)) {
        box(b.by_row[top].left, top, b.by_row[top].right, row - 1);
        top = -1;
      }
      if (more && top < 0) top = row;
    }
    for (int row = b.first_row; row <= b.last_row; ++row) b.by_row[row] = EMPTY;
  }

  SDL_Renderer* m_renderer;
  Buffers& m_buffers;
  int m_width = 0;
  int m_height = 0;
};

// ---- Rectangles ------------------------------------------------------------------------------

struct Box {
  int64_t left, top, right, bottom;
};

// The rectangle as SDL is given it: corner clamped, width and height clamped to 1..COORD_MAX.
Box clamped_box(const RectShape& r) {
  int64_t x = clamp_coord(r.x), y = clamp_coord(r.y);
  return {x, y, x + clamp_size(r.w) - 1, y + clamp_size(r.h) - 1};
}

void outline_rect(Painter& p, const RectShape& r) {
  Box b = clamped_box(r);
  p.box(b.left, b.top, b.right, b.top);
  p.box(b.left, b.bottom, b.right, b.bottom);
  p.box(b.left, b.top, b.left, b.bottom);
  p.box(b.right, b.top, b.right, b.bottom);
}

void fill_rect(Painter& p, const RectShape& r) {
  Box b = clamped_box(r);
  p.box(b.left, b.top, b.right, b.bottom);
}

// ---- Circles ---------------------------------------------------------------------------------

// Midpoint circle: calls `step(ox, oy)` for each octant step, from (radius, 0) until ox < oy.
// The error term is signed 32-bit and wraps, as the offsets added to the centre do.
//
// Every step paints only on the rows cy ± oy and cy ± ox, and ox >= oy throughout, so once oy
// is past the last offset that can reach a row of the target, no later step shows: the walk
// stops there, which keeps a circle far larger than the window as cheap as one that fits.
template <class Step>
void walk_circle(const CircleShape& c, int64_t height, Step step) {
  int32_t radius = wrap(c.r);
  if (radius <= 0) return;
  // Offsets are below 2^31. A wrapped cy + offset is negative; a wrapped cy - offset lands on
  // the target only when cy lies within `height` of -2^31, and then height - 1 - cy is already
  // beyond every offset.
  int64_t last_offset = std::max<int64_t>(height - 1 - c.y, c.y);
  int32_t ox = radius;
  int64_t oy = 0;  // wide so that the loop test cannot wrap
  uint32_t err = 0;
  for (;;) {
    if (oy > last_offset) return;
    step(ox, static_cast<int32_t>(oy));
    ++oy;
    err += 2 * static_cast<uint32_t>(oy) + 1;
    if (wrap(2 * (err - static_cast<uint32_t>(ox)) + 1) > 0) {
      --ox;
      err += 1 - 2 * static_cast<uint32_t>(ox);
    }
    if (ox < oy) return;
  }
}

void outline_circle(Painter& p, const CircleShape& c) {
  walk_circle(c, p.height(), [&](int32_t ox, int32_t oy) {
    p.point(wrap_add(c.x, ox), wrap_add(c.y, oy));
    p.point(wrap_sub(c.x, ox), wrap_add(c.y, oy));
    p.point(wrap_add(c.x, ox), wrap_sub(c.y, oy));
    p.point(wrap_sub(c.x, ox), wrap_sub(c.y, oy));
    p.point(wrap_add(c.x, oy), wrap_add(c.y, ox));
    p.point(wrap_sub(c.x, oy), wrap_add(c.y, ox));
    p.point(wrap_add(c.x, oy), wrap_sub(c.y, ox));
    p.point(wrap_sub(c.x, oy), wrap_sub(c.y, ox));
  });
}

void fill_circle(Painter& p, const CircleShape& c) {
  walk_circle(c, p.height(), [&](int32_t ox, int32_t oy) {
    p.span(wrap_sub(c.x, ox), wrap_add(c.x, ox), wrap_add(c.y, oy));
    p.span(wrap_sub(c.x, oy), wrap_add(c.x, oy), wrap_add(c.y, ox));
    p.span(wrap_sub(c.x, ox), wrap_add(c.x, ox), wrap_sub(c.y, oy));
    p.span(wrap_sub(c.x, oy), wrap_add(c.x, oy), wrap_sub(c.y, ox));
  });
}

// ---- Triangles -------------------------------------------------------------------------------

// One Bresenham line from (xs, ys) to (xe, ye), both ends plotted. The stepping rule is:
//   err = dx - dy; plot; e2 = 2 err; if e2 > -dy step x (err -= dy); if e2 < dx step y (err += dx)
// Rather than walking it pixel by pixel, `run_on_row` answers which pixels it plots on a given
// row in closed form, so only visible rows cost anything. With u x-steps and v y-steps taken,
// err = dx - dy + v dx - u dy, so the walk steps x when 2dx(v+1) > dy(2u+1) and steps y when
// 2dy(u+1) > dx(2v+1). The two tests mirror each other under swapping x and y, which gives:
//   x-major (dx >= dy): row v is left at u = floor(dx(2v+1) / 2dy), with a diagonal step, so
//     row v covers u from that value for row v-1, plus one, through its own (the last row ends
//     at dx);
//   y-major (dy > dx): each row holds one pixel, at u = ceil((2dx v - dy) / 2dy).
// Distances are taken in 64 bits: the line between two far-apart 32-bit points has a length
// that 32-bit arithmetic cannot hold, and wrapped distances would step past the end forever.
class Line {
 public:
  Line(int32_t xs, int32_t ys, int32_t xe, int32_t ye)
      : m_xs(xs),
        m_ys(ys),
        m_dx(std::abs(int64_t{xe} - xs)),
        m_dy(std::abs(int64_t{ye} - ys)),
        m_sx(xs < xe ? 1 : -1),
        m_sy(ys < ye ? 1 : -1) {}

  int64_t top() const { return m_sy > 0 ? m_ys : m_ys - m_dy; }
  int64_t bottom() const { return m_sy > 0 ? m_ys + m_dy : m_ys; }

  // The columns [left, right] that the line plots on `row`, which must lie in top()..bottom().
  std::pair<int64_t, int64_t> run_on_row(int64_t row) const {
    Wide v = (row - m_ys) * m_sy;
    Wide first, last;
    if (m_dx >= m_dy) {
      first = v == 0 ? 0 : leave_row(v - 1) + 1;
      last = v == m_dy ? m_dx : leave_row(v);
    } else {
      Wide num = 2 * m_dx * v - m_dy, den = 2 * Wide{m_dy};
      first = last = std::max<Wide>(0, ceil_div(num, den));
    }
    int64_t a = m_xs + static_cast<int64_t>(first) * m_sx;
    int64_t b = m_xs + static_cast<int64_t>(last) * m_sx;
    return {std::min(a, b), std::max(a, b)};
  }

 private:
  // The x-step at which an x-major line leaves row v (only called with m_dy > 0).
  Wide leave_row(Wide v) const { return m_dx * (2 * v + 1) / (2 * Wide{m_dy}); }
  static Wide ceil_div(Wide num, Wide den) {
    return num >= 0 ? (num + den - 1) / den : -((-num) / den);
  }

  int64_t m_xs, m_ys, m_dx, m_dy;
  int m_sx, m_sy;
};

struct Edges {
  Line lines[3];
  explicit Edges(const TriangleShape& t)
      : lines{{t.x1, t.y1, t.x2, t.y2}, {t.x2, t.y2, t.x3, t.y3}, {t.x3, t.y3, t.x1, t.y1}} {}
};

void outline_triangle(Painter& p, const TriangleShape& t) {
  for (const Line& line : Edges(t).lines) {
    int64_t first = std::max<int64_t>(line.top(), 0);
    int64_t last = std::min<int64_t>(line.bottom(), p.height() - 1);
    for (int64_t y = first; y <= last; ++y) {
      auto [left, right] = line.run_on_row(y);
      p.span(left, right, y);
    }
  }
}

// One span per row, from the leftmost to the rightmost pixel that the outline plots on that row:
// exactly the outline and what it encloses.
void fill_triangle(Painter& p, const TriangleShape& t) {
  if (t.y1 == t.y2 && t.y2 == t.y3) return;
  Edges edges(t);
  int64_t top = std::min({t.y1, t.y2, t.y3}), bottom = std::max({t.y1, t.y2, t.y3});
  int64_t first = std::max<int64_t>(top, 0), last = std::min<int64_t>(bottom, p.height() - 1);
  for (int64_t y = first; y <= last; ++y) {
    int64_t left = INT64_MAX, right = INT64_MIN;
    for (const Line& line : edges.lines) {
      if (y < line.top() || y > line.bottom()) continue;
      auto [a, b] = line.run_on_row(y);
      left = std::min(left, a);
      right = std::max(right, b);
    }
    p.span(left, right, y);
  }
}

bool is_shape(const Value& v) {
  return v.is(Value::Rect) || v.is(Value::Circle) || v.is(Value::Triangle);
}

}  // namespace

// ---- The context -----------------------------------------------------------------------------

GraphicsContext::~GraphicsContext() {
  if (!m_initialised) return;
  sdl().DestroyRenderer(m_renderer);
  sdl().DestroyWindow(m_window);
  sdl().QuitSubSystem(SDL_INIT_VIDEO);
  sdl().QuitSubSystem(SDL_INIT_EVENTS);
  sdl().Quit();
}

void GraphicsContext::open_window(uint32_t width, uint32_t height) {
  if (m_initialised || !sdl().loaded) return;
  // Stop signals belong to the driver, which ends the run; SDL would turn them into quit events.
  sdl().SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (sdl().Init(0) != 0) return;
  if (!start_video()) {
    sdl().Quit();
    return;
  }
  g_window_destroyed = false;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  auto give_up = [&] {
    if (renderer) sdl().DestroyRenderer(renderer);
    if (window) sdl().DestroyWindow(window);
    sdl().QuitSubSystem(SDL_INIT_VIDEO);
    sdl().Quit();
  };
  // SDL takes sizes as int: a side that does not fit (a negative script value among them) is
  // refused here rather than handed over.
  if (width >= MAX_WINDOW_SIDE || height >= MAX_WINDOW_SIDE) return give_up();
  window = sdl().CreateWindow("Orvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                              static_cast<int>(width), static_cast<int>(height), 0);
  if (!window) return give_up();
  renderer = sdl().CreateRenderer(window, -1, 0);
  if (!renderer) return give_up();
  if (sdl().InitSubSystem(SDL_INIT_EVENTS) != 0) return give_up();

  m_events = true;
  m_window = window;
  m_renderer = renderer;
  m_draw_color.reset();
  m_initialised = true;
  m_open = true;
}

std::optional<std::pair<uint32_t, uint32_t>> GraphicsContext::window_size() const {
  if (!m_window) return std::nullopt;
  int w = 0, h = 0;
  sdl().GetWindowSize(m_window, &w, &h);
  return std::pair{static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
}

void GraphicsContext::present() {
  if (m_renderer) sdl().RenderPresent(m_renderer);
  if (!m_events) return;
  SDL_Event event;
  while (sdl().PollEvent(&event)) {
    if (event.type == SDL_QUIT) m_open = false;
    // Key repeats count: holding Escape down closes as surely as one press.
    if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) m_open = false;
  }
  // The server's complaints about a window that has gone arrive with the events.
  if (g_window_destroyed) m_open = false;
}

void GraphicsContext::clear() {
  if (!m_renderer) return;
  // Should SDL refuse the colour, the cache is forgotten so the next shape sets its own again.
  if (sdl().SetRenderDrawColor(m_renderer, 0, 0, 0, 255) == 0)
    m_draw_color = pack(0, 0, 0, 255);
  else
    m_draw_color.reset();
  sdl().RenderClear(m_renderer);
}

void GraphicsContext::use_color(ColorRGB c) {
  uint32_t wanted = pack(c.r, c.g, c.b, 255);
  if (m_draw_color == wanted) return;
  if (sdl().SetRenderDrawColor(m_renderer, c.r, c.g, c.b, 255) == 0)
    m_draw_color = wanted;
  else
    m_draw_color.reset();
}

void GraphicsContext::draw(const Value& shape, ColorRGB color) {
  if (!m_renderer || !is_shape(shape)) return;
  use_color(color);
  Painter p(m_renderer);
  if (shape.is(Value::Rect)) outline_rect(p, shape.as_rect());
  if (shape.is(Value::Circle)) outline_circle(p, shape.as_circle());
  if (shape.is(Value::Triangle)) outline_triangle(p, shape.as_triangle());
}

void GraphicsContext::fill(const Value& shape, ColorRGB color) {
  if (!m_renderer || !is_shape(shape)) return;
  use_color(color);
  Painter p(m_renderer);
  if (shape.is(Value::Rect)) fill_rect(p, shape.as_rect());
  if (shape.is(Value::Circle)) fill_circle(p, shape.as_circle());
  if (shape.is(Value::Triangle)) fill_triangle(p, shape.as_triangle());
}

// ---- Builtins --------------------------------------------------------------------------------

namespace {

// Converts the first N arguments with as_integer; empty when any is rejected.
template <size_t N>
std::optional<std::array<int64_t, N>> integers(BuiltinArgs args) {
  std::array<int64_t, N> out{};
  for (size_t i = 0; i < N; ++i) {
    std::optional<int64_t> v = as_integer(args[i]);
    if (!v) return std::nullopt;
    out[i] = *v;
  }
  return out;
}

// Shape fields keep the low 32 bits; colour components the low 8.
int32_t low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
uint8_t low8(int64_t v) { return static_cast<uint8_t>(v); }

}  // namespace

namespace builtins {

Value window(BuiltinArgs args, Host& host) {
  auto size = integers<2>(args);
  if (size)
    host.graphics().open_window(static_cast<uint32_t>((*size)[0]),
                                static_cast<uint32_t>((*size)[1]));
  return Value::null();
}

Value is_open(BuiltinArgs, Host& host) { return Value::boolean(host.graphics().is_open()); }

Value present(BuiltinArgs, Host& host) {
  host.graphics().present();
  return Value::null();
}

Value clear(BuiltinArgs, Host& host) {
  host.graphics().clear();
  return Value::null();
}

Value window_width(BuiltinArgs, Host& host) {
  auto size = host.graphics().window_size();
  return size ? Value::number(size->first) : Value::null();
}

Value window_height(BuiltinArgs, Host& host) {
  auto size = host.graphics().window_size();
  return size ? Value::number(size->second) : Value::null();
}

Value rect(BuiltinArgs args, Host&) {
  auto v = integers<4>(args);
  if (!v) return Value::null();
  auto [x, y, w, h] = *v;
  return Value::rect({low32(x), low32(y), static_cast<uint32_t>(w), static_cast<uint32_t>(h)});
}

Value circle(BuiltinArgs args, Host&) {
  auto v = integers<3>(args);
  if (!v) return Value::null();
  auto [x, y, r] = *v;
  return Value::circle({low32(x), low32(y), static_cast<uint32_t>(r)});
}

Value triangle(BuiltinArgs args, Host&) {
  auto v = integers<6>(args);
  if (!v) return Value::null();
  auto [x1, y1, x2, y2, x3, y3] = *v;
  return Value::triangle({low32(x1), low32(y1), low32(x2), low32(y2), low32(x3), low32(y3)});
}

Value color(BuiltinArgs args, Host&) {
  auto v = integers<3>(args);
  if (!v) return Value::null();
  auto [r, g, b] = *v;
  return Value::color({low8(r), low8(g), low8(b)});
}

Value draw(BuiltinArgs args, Host& host) {
  if (args[1].is(Value::Color)) host.graphics().draw(args[0], args[1].as_color());
  return Value::null();
}

Value fill(BuiltinArgs args, Host& host) {
  if (args[1].is(Value::Color)) host.graphics().fill(args[0], args[1].as_color());
  return Value::null();
}

}  // namespace builtins

}  // namespace orvane

// The window, frame and shape builtins against real SDL: the dummy video driver with the software
// renderer, pixels read back before each present and compared exactly.
#include "interpreter/graphics.hpp"

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "interpreter/builtins.hpp"

extern char** environ;

namespace orvane {
namespace {

using Pixel = std::pair<int, int>;  // (x, y)
using Pixels = std::set<Pixel>;

void use_dummy_video() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
}

Value num(int64_t v) { return Value::number(v); }

Value call(GraphicsContext& g, std::string_view name, std::vector<Value> args = {}) {
  std::optional<Value> result = call_builtin(name, std::move(args), g);
  EXPECT_TRUE(result.has_value()) << name << " is not a builtin";
  return result.value_or(Value::null());
}

Value rect(int64_t x, int64_t y, int64_t w, int64_t h) {
  GraphicsContext none;
  return call(none, "rect", {num(x), num(y), num(w), num(h)});
}
Value circle(int64_t x, int64_t y, int64_t r) {
  GraphicsContext none;
  return call(none, "circle", {num(x), num(y), num(r)});
}
Value triangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t x3, int64_t y3) {
  GraphicsContext none;
  return call(none, "triangle", {num(x1), num(y1), num(x2), num(y2), num(x3), num(y3)});
}
Value color(int64_t r, int64_t g, int64_t b) {
  GraphicsContext none;
  return call(none, "color", {num(r), num(g), num(b)});
}

// The frame as 0xRRGGBB per pixel, row by row, read before presenting.
std::vector<uint32_t> frame(GraphicsContext& g) {
  auto [w, h] = g.window_size().value();
  std::vector<uint32_t> argb(size_t{w} * h);
  EXPECT_EQ(SDL_RenderReadPixels(g.renderer(), nullptr, SDL_PIXELFORMAT_ARGB8888, argb.data(),
                                 static_cast<int>(w * 4)),
            0)
      << SDL_GetError();
  for (uint32_t& p : argb) p &= 0xFFFFFF;
  return argb;
}

// The pixels that are not black; every one must be `rgb`.
Pixels painted(GraphicsContext& g, uint32_t rgb = 0xFFFFFF) {
  int w = static_cast<int>(g.window_size()->first);
  std::vector<uint32_t> f = frame(g);
  Pixels out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == 0) continue;
    EXPECT_EQ(f[i], rgb) << "at " << i % w << "," << i / w;
    out.insert({static_cast<int>(i) % w, static_cast<int>(i) / w});
  }
  return out;
}

Pixels row(int y, int x1, int x2) {
  Pixels out;
  for (int x = x1; x <= x2; ++x) out.insert({x, y});
  return out;
}
Pixels block(int size) {
  Pixels out;
  for (int y = 0; y < size; ++y) out.merge(row(y, 0, size - 1));
  return out;
}
Pixels join(std::initializer_list<Pixels> parts) {
  Pixels out;
  for (const Pixels& p : parts) out.insert(p.begin(), p.end());
  return out;
}

class Graphics : public ::testing::Test {
 protected:
  void SetUp() override { use_dummy_video(); }
  // Opens a w-by-h window on `g` and clears it.
  static void open(GraphicsContext& g, int w = 32, int h = 32) {
    call(g, "window", {num(w), num(h)});
    ASSERT_TRUE(g.has_window()) << SDL_GetError();
    call(g, "clear");
  }
};

// ---- Without a window ------------------------------------------------------------------------

TEST_F(Graphics, WithoutAWindowNothingHappensAndSdlIsNeverStarted) {
  {
    GraphicsContext g;
    Value shapes[] = {rect(0, 0, 5, 5), circle(5, 5, 3), triangle(0, 0, 4, 0, 0, 4)};
    for (const Value& s : shapes) {
      EXPECT_TRUE(call(g, "draw", {s, color(255, 0, 0)}).is(Value::Null));
      EXPECT_TRUE(call(g, "fill", {s, color(255, 0, 0)}).is(Value::Null));
    }
    EXPECT_TRUE(call(g, "present").is(Value::Null));
    EXPECT_TRUE(call(g, "clear").is(Value::Null));
    EXPECT_FALSE(call(g, "is_open").as_boolean());
    EXPECT_TRUE(call(g, "window_width").is(Value::Null));
    EXPECT_TRUE(call(g, "window_height").is(Value::Null));
    // Rejected window arguments never reach SDL either.
    call(g, "window", {Value::string("640"), num(480)});
    call(g, "window", {num(640)});
    EXPECT_EQ(SDL_WasInit(0), 0u);

    // The earlier calls left nothing behind that shows once a window exists.
    open(g);
    EXPECT_TRUE(painted(g).empty());
  }
  EXPECT_EQ(SDL_WasInit(0), 0u);
}

// ---- Window lifecycle ------------------------------------------------------------------------

TEST_F(Graphics, OnlyTheFirstWindowCountsAndSizesAreTruncated) {
  GraphicsContext g;
  call(g, "window", {Value::real(64.9), Value::real(48.2)});
  EXPECT_TRUE(call(g, "is_open").as_boolean());
  call(g, "window", {num(100), num(100)});
  EXPECT_EQ(call(g, "window_width").as_number(), 64);
  EXPECT_EQ(call(g, "window_height").as_number(), 48);
}

TEST_F(Graphics, AFailedOpenIsSilentReleasesSdlAndCanBeRetried) {
  struct Case {
    const char* name;
    int64_t w, h;
    const char* driver;
  } cases[] = {
      {"negative width", -1, 100, "dummy"},
      {"height of 2^31", 100, int64_t{1} << 31, "dummy"},
      {"unknown video driver", 100, 100, "no-such-driver"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphicsContext g;
    setenv("SDL_VIDEODRIVER", c.driver, 1);
    call(g, "window", {num(c.w), num(c.h)});
    EXPECT_FALSE(call(g, "is_open").as_boolean());
    EXPECT_TRUE(call(g, "window_width").is(Value::Null));
    EXPECT_EQ(SDL_WasInit(0), 0u);

    use_dummy_video();
    call(g, "window", {num(20), num(10)});
    EXPECT_TRUE(call(g, "is_open").as_boolean());
    EXPECT_EQ(call(g, "window_width").as_number(), 20);
  }
}

TEST_F(Graphics, DestroyingTheContextShutsSdlDown) {
  {
    GraphicsContext g;
    open(g);
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0u);
  }
  EXPECT_EQ(SDL_WasInit(0), 0u);
}

SDL_Event key(Uint32 type, SDL_Keycode sym, Uint8 repeat) {
  SDL_Event e{};
  e.type = type;
  e.key.type = type;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat;
  e.key.keysym.sym = sym;
  return e;
}

TEST_F(Graphics, PresentClosesOnQuitAndEscapeOnly) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  struct Case {
    const char* name;
    std::vector<SDL_Event> events;
    bool closes;
  } cases[] = {
      {"quit request", {quit}, true},
      {"escape pressed", {key(SDL_KEYDOWN, SDLK_ESCAPE, 0)}, true},
      {"escape repeating", {key(SDL_KEYDOWN, SDLK_ESCAPE, 1)}, true},
      {"escape behind other keys",
       {key(SDL_KEYDOWN, SDLK_a, 0), key(SDL_KEYUP, SDLK_a, 0), key(SDL_KEYDOWN, SDLK_ESCAPE, 0)},
       true},
      {"escape released", {key(SDL_KEYUP, SDLK_ESCAPE, 0)}, false},
      {"other key", {key(SDL_KEYDOWN, SDLK_SPACE, 0), key(SDL_KEYDOWN, SDLK_q, 1)}, false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    GraphicsContext g;
    open(g, 40, 30);
    call(g, "present");  // drain whatever the window's creation queued
    ASSERT_TRUE(call(g, "is_open").as_boolean());
    for (SDL_Event& e : c.events) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    // Events are read only by present.
    EXPECT_TRUE(call(g, "is_open").as_boolean());
    call(g, "present");
    EXPECT_EQ(call(g, "is_open").as_boolean(), !c.closes);
    EXPECT_EQ(SDL_PollEvent(nullptr), 0) << "present leaves no event queued";

    // Closed or not, the window stays usable and a new window call changes nothing.
    call(g, "window", {num(100), num(100)});
    EXPECT_EQ(call(g, "window_width").as_number(), 40);
    EXPECT_EQ(call(g, "is_open").as_boolean(), !c.closes);
    call(g, "fill", {rect(1, 1, 1, 1), color(255, 255, 255)});
    EXPECT_EQ(painted(g), (Pixels{{1, 1}}));
  }
}

// ---- Raster rules ----------------------------------------------------------------------------

struct RasterCase {
  const char* name;
  const char* op;  // "draw" or "fill"
  Value shape;
  Pixels expected;
};

TEST_F(Graphics, ShapesPaintExactlyTheirPixels) {
  const int64_t big = int64_t{1} << 31;
  RasterCase cases[] = {
      {"rect 0 by 0 outline", "draw", rect(5, 5, 0, 0), {{5, 5}}},
      {"rect 0 by 0 fill", "fill", rect(5, 5, 0, 0), {{5, 5}}},
      {"rect outline", "draw", rect(2, 3, 4, 3),
       join({row(3, 2, 5), row(5, 2, 5), {{2, 4}, {5, 4}}})},
      {"rect fill", "fill", rect(2, 3, 4, 2), join({row(3, 2, 5), row(4, 2, 5)})},
      {"rect off the left edge", "fill", rect(-3, 0, 5, 1), row(0, 0, 1)},
      {"width of -1 clamps to the window", "fill", rect(0, 0, -1, 2),
       join({row(0, 0, 31), row(1, 0, 31)})},
      // Clamped to x = -2^30 and width 2^30 - 1, this ends left of the window; unclamped it
      // would reach column 9.
      {"clamped far corner", "fill", rect(-2000000000, 3, 2000000010, 1), {}},
      {"clamped outline of a huge rect", "draw", rect(-5, -5, 4000000000, 10),
       join({row(4, 0, 31)})},

      {"circle radius 0", "draw", circle(10, 10, 0), {}},
      {"circle radius 0 fill", "fill", circle(10, 10, 0), {}},
      {"circle radius 2^32-1 reads as -1", "fill", circle(10, 10, -1), {}},
      {"circle radius 1", "draw", circle(10, 10, 1), {{11, 10}, {9, 10}, {10, 11}, {10, 9}}},
      {"circle radius 1 fill", "fill", circle(10, 10, 1),
       join({{{10, 9}}, row(10, 9, 11), {{10, 11}}})},
      {"circle radius 3",
       "draw",
       circle(10, 10, 3),
       {{13, 10},
        {7, 10},
        {10, 13},
        {10, 7},
        {12, 11},
        {8, 11},
        {12, 9},
        {8, 9},
        {11, 12},
        {9, 12},
        {11, 8},
        {9, 8}}},
      {"circle radius 3 fill", "fill", circle(10, 10, 3),
       join({{{10, 7}},
             row(8, 9, 11),
             row(9, 8, 12),
             row(10, 7, 13),
             row(11, 8, 12),
             row(12, 9, 11),
             {{10, 13}}})},
      {"circle clipped at the corner", "fill", circle(0, 0, 1), {{0, 0}, {1, 0}, {0, 1}}},
      {"circle far larger than the window", "fill", circle(16, 16, 1000000), block(32)},
      // The centre plus the offset wraps past 2^31 before clamping, so each span runs from the
      // right limit to the left one: whole rows.
      {"spans that wrap", "fill", circle(big - 1, 5, 2),
       join({row(4, 0, 31), row(5, 0, 31), row(6, 0, 31)})},

      {"triangle outline", "draw", triangle(0, 0, 4, 0, 0, 4),
       join({row(0, 0, 4), {{0, 1}, {0, 2}, {0, 3}, {0, 4}}, {{3, 1}, {2, 2}, {1, 3}}})},
      {"triangle on one row fill", "fill", triangle(1, 2, 9, 2, 5, 2), {}},
      {"triangle on one row outline", "draw", triangle(1, 2, 9, 2, 5, 2), row(2, 1, 9)},
      {"triangle with a single point", "draw", triangle(3, 3, 3, 3, 3, 3), {{3, 3}}},
  };
  for (RasterCase& c : cases) {
    SCOPED_TRACE(c.name);
    GraphicsContext g;
    open(g);
    EXPECT_TRUE(call(g, c.op, {c.shape, color(255, 255, 255)}).is(Value::Null));
    EXPECT_EQ(painted(g), c.expected);
  }
}

TEST_F(Graphics, FilledTriangleWithAFlatTopSpansItsWholeTopRow) {
  GraphicsContext g;
  open(g);
  call(g, "fill", {triangle(0, 0, 10, 0, 5, 10), color(0, 200, 0)});
  Pixels p = painted(g, 0x00C800);
  Pixels top, bottom;
  for (auto [x, y] : p) {
    if (y == 0) top.insert({x, y});
    if (y == 10) bottom.insert({x, y});
  }
  EXPECT_EQ(top, row(0, 0, 10));
  EXPECT_EQ(bottom, (Pixels{{5, 10}}));
  for (auto [x, y] : p) EXPECT_LE(y, 10);
}

// ---- Triangles against the line rule walked pixel by pixel -----------------------------------

// The outline's pixels by the stepping rule itself, one point at a time.
void walk_line(Pixels& out, int64_t xs, int64_t ys, int64_t xe, int64_t ye) {
  int64_t dx = std::abs(xe - xs), dy = std::abs(ye - ys);
  int64_t sx = xs < xe ? 1 : -1, sy = ys < ye ? 1 : -1, err = dx - dy;
  for (;;) {
    out.insert({static_cast<int>(xs), static_cast<int>(ys)});
    if (xs == xe && ys == ye) return;
    int64_t e2 = 2 * err;
    if (e2 > -dy) err -= dy, xs += sx;
    if (e2 < dx) err += dx, ys += sy;
  }
}

Pixels visible(const Pixels& all, int size) {
  Pixels out;
  for (auto [x, y] : all)
    if (x >= 0 && y >= 0 && x < size && y < size) out.insert({x, y});
  return out;
}

TEST_F(Graphics, TriangleOutlineAndFillMatchTheWalkedLines) {
  const int size = 48;
  GraphicsContext g;
  open(g, size, size);
  std::mt19937 rng(20240611);
  struct Range {
    int lo, hi, count;
  } ranges[] = {{-6, size + 6, 400}, {-3000, 3000, 150}, {10, 14, 100}};
  for (const Range& r : ranges) {
    std::uniform_int_distribution<int> coord(r.lo, r.hi);
    for (int i = 0; i < r.count; ++i) {
      int v[6];
      for (int& c : v) c = coord(rng);
      SCOPED_TRACE(::testing::Message() << "triangle " << v[0] << "," << v[1] << " " << v[2] << ","
                                        << v[3] << " " << v[4] << "," << v[5]);
      Pixels outline;
      walk_line(outline, v[0], v[1], v[2], v[3]);
      walk_line(outline, v[2], v[3], v[4], v[5]);
      walk_line(outline, v[4], v[5], v[0], v[1]);
      // The solid triangle: each row from the outline's leftmost pixel to its rightmost.
      std::map<int, std::pair<int, int>> rows;
      for (auto [x, y] : outline) {
        auto [it, fresh] = rows.try_emplace(y, x, x);
        it->second = {std::min(it->second.first, x), std::max(it->second.second, x)};
      }
      Pixels solid;
      if (!(v[1] == v[3] && v[3] == v[5]))
        for (auto [y, ends] : rows)
          if (y >= 0 && y < size)
            solid.merge(row(y, std::max(ends.first, 0), std::min(ends.second, size - 1)));

      Value t = triangle(v[0], v[1], v[2], v[3], v[4], v[5]);
      call(g, "clear");
      call(g, "draw", {t, color(255, 255, 255)});
      ASSERT_EQ(painted(g), visible(outline, size));
      call(g, "clear");
      call(g, "fill", {t, color(255, 255, 255)});
      ASSERT_EQ(painted(g), visible(solid, size));
    }
  }
}

// ---- Circles against the midpoint rule walked to its end ------------------------------------

int32_t wrapped(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
int64_t clamp30(int64_t v) { return std::clamp<int64_t>(v, -(1 << 30), (1 << 30) - 1); }

// Every step of the rule, with no shortcut: the points of the outline and the spans of the fill,
// kept where they fall inside a size-by-size target.
void walk_circle(int32_t cx, int32_t cy, int32_t radius, int size, Pixels& outline, Pixels& solid) {
  auto plot = [&](int64_t x, int64_t y) {
    x = clamp30(wrapped(x)), y = clamp30(wrapped(y));
    if (x >= 0 && y >= 0 && x < size && y < size) outline.insert({int(x), int(y)});
  };
  auto span = [&](int64_t x1, int64_t x2, int64_t y) {
    x1 = clamp30(wrapped(x1)), x2 = clamp30(wrapped(x2)), y = clamp30(wrapped(y));
    if (y < 0 || y >= size) return;
    for (int64_t x = std::max<int64_t>(std::min(x1, x2), 0);
         x <= std::min<int64_t>(std::max(x1, x2), size - 1); ++x)
      solid.insert({int(x), int(y)});
  };
  if (radius <= 0) return;
  int64_t ox = radius, oy = 0;
  int32_t err = 0;
  while (ox >= oy) {
    plot(cx + ox, cy + oy), plot(cx - ox, cy + oy), plot(cx + ox, cy - oy), plot(cx - ox, cy - oy);
    plot(cx + oy, cy + ox), plot(cx - oy, cy + ox), plot(cx + oy, cy - ox), plot(cx - oy, cy - ox);
    span(cx - ox, cx + ox, cy + oy), span(cx - oy, cx + oy, cy + ox);
    span(cx - ox, cx + ox, cy - oy), span(cx - oy, cx + oy, cy - ox);
    ++oy;
    err = wrapped(int64_t{err} + 2 * oy + 1);
    if (wrapped(2 * (int64_t{err} - ox) + 1) > 0) {
      --ox;
      err = wrapped(int64_t{err} + 1 - 2 * ox);
    }
  }
}

TEST_F(Graphics, CirclesMatchTheRuleWalkedToItsEnd) {
  const int size = 48;
  GraphicsContext g;
  open(g, size, size);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> centre(-4000, 4000), near(-10, size + 10), radius(1, 4000);
  std::vector<std::array<int32_t, 3>> circles = {{24, 24, 5},
                                                 {24, 24, 60},
                                                 {-3000, 20, 3010},
                                                 {20, -3000, 3010},
                                                 {20, 3040, 3010},
                                                 {INT32_MIN + 30, 20, 40},
                                                 {INT32_MAX - 20, 10, 40},
                                                 {10, INT32_MAX - 3, 30}};
  for (int i = 0; i < 120; ++i) circles.push_back({near(rng), near(rng), radius(rng) % 80});
  for (int i = 0; i < 120; ++i) circles.push_back({centre(rng), centre(rng), radius(rng)});
  for (auto [x, y, r] : circles) {
    SCOPED_TRACE(::testing::Message() << "circle " << x << "," << y << " r " << r);
    Pixels outline, solid;
    walk_circle(x, y, r, size, outline, solid);
    Value c = circle(x, y, r);
    call(g, "clear");
    call(g, "draw", {c, color(255, 255, 255)});
    ASSERT_EQ(painted(g), outline);
    call(g, "clear");
    call(g, "fill", {c, color(255, 255, 255)});
    ASSERT_EQ(painted(g), solid);
  }
}

// ---- Rectangles against SDL's own ------------------------------------------------------------

TEST_F(Graphics, RectanglesMatchSdlRectangles) {
  GraphicsContext g;
  open(g, 24, 24);
  SDL_Renderer* r = g.renderer();
  for (int x = -3; x <= 20; x += 5)
    for (int w = 1; w <= 9; w += 4)
      for (int h = 1; h <= 6; h += 2) {
        SCOPED_TRACE(::testing::Message() << "rect " << x << " " << w << "x" << h);
        for (bool solid : {false, true}) {
          SDL_Rect box{x, x / 2, w, h};
          call(g, "clear");
          SDL_SetRenderDrawColor(r, 255, 255, 255, 255);
          solid ? SDL_RenderFillRect(r, &box) : SDL_RenderDrawRect(r, &box);
          Pixels theirs = painted(g);
          call(g, "clear");
          call(g, solid ? "fill" : "draw", {rect(x, x / 2, w, h), color(255, 255, 255)});
          EXPECT_EQ(painted(g), theirs);
        }
      }
}

// ---- Colours ---------------------------------------------------------------------------------

TEST_F(Graphics, ColoursArePaintedOpaqueAndSurviveClear) {
  GraphicsContext g;
  open(g);
  call(g, "fill", {rect(0, 0, 2, 2), call(g, "color", {num(300), num(-1), Value::real(255.9)})});
  EXPECT_EQ(painted(g, 0x2CFFFF).size(), 4u);
  // Same colour again after a clear: it must be set anew, not left black.
  call(g, "clear");
  call(g, "fill", {rect(4, 4, 1, 1), color(300, -1, 255)});
  EXPECT_EQ(painted(g, 0x2CFFFF), (Pixels{{4, 4}}));
  // A shape over another replaces its colour.
  call(g, "fill", {circle(4, 4, 1), color(1, 2, 3)});
  EXPECT_EQ(painted(g, 0x010203).size(), 5u);
}

TEST_F(Graphics, MisusedDrawPaintsNothing) {
  GraphicsContext g;
  open(g);
  Value red = color(255, 0, 0), box = rect(1, 1, 3, 3);
  std::vector<std::vector<Value>> calls = {
      {red, box},                   // swapped
      {box, box},                   // no colour
      {num(1), red},                // not a shape
      {box, Value::string("red")},  //
      {Value::null(), red},         //
  };
  for (auto& args : calls)
    for (const char* op : {"draw", "fill"}) {
      EXPECT_TRUE(call(g, op, args).is(Value::Null));
    }
  EXPECT_TRUE(call(g, "fill", {box}).is(Value::Null));
  EXPECT_TRUE(painted(g).empty());
}

}  // namespace
}  // namespace orvane

// ---- Examples ----------------------------------------------------------------------------------

namespace orvane {
namespace {

// Each example runs its frame loop under the dummy driver until SIGTERM asks it to stop. The
// example must still be running after a second (its loop did not end by itself) and then end
// promptly with the conventional status 143, its window closed on the way out.
TEST(Examples, RunFramesAndEndOnAQuitRequest) {
  use_dummy_video();
  for (const char* name : {"bouncing", "sierpinski", "plasma"}) {
    SCOPED_TRACE(name);
    std::string script = std::string(ORVANE_SOURCE_DIR) + "/examples/" + name + ".ov";
    char* argv[] = {const_cast<char*>(ORVANE_BINARY), script.data(), nullptr};
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, ORVANE_BINARY, nullptr, nullptr, argv, environ), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended before it was asked to";
    kill(pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "still running 10 s after the quit request";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  }
}

}  // namespace
}  // namespace orvane

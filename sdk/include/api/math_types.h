#pragma once

#include <cstddef>
#include <type_traits>

// Colour with full intensity at 1.0, passed to the game as one 16-byte value.
struct FLinearColor {
  float R = 0.0F;
  float G = 0.0F;
  float B = 0.0F;
  float A = 0.0F;
};

static_assert(std::is_standard_layout_v<FLinearColor>);
static_assert(sizeof(FLinearColor) == 16);
static_assert(offsetof(FLinearColor, R) == 0 && offsetof(FLinearColor, G) == 4);
static_assert(offsetof(FLinearColor, B) == 8 && offsetof(FLinearColor, A) == 12);

// The 12-byte values that the build check takes by value.
struct FVector {
  float X = 0.0F;
  float Y = 0.0F;
  float Z = 0.0F;
};

struct FRotator {
  float Pitch = 0.0F;
  float Yaw = 0.0F;
  float Roll = 0.0F;
};

static_assert(sizeof(FVector) == 12 && sizeof(FRotator) == 12);

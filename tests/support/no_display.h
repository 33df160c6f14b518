#pragma once

namespace quirlomat::testing {

// A display that no X server of a test can be given: servers started with -displayfd pick
// numbers far below it, so a test that needs "no server" never meets one that another test
// has just started on a number this test saw free.
inline constexpr char kNoDisplay[] = ":999999";

}  // namespace quirlomat::testing

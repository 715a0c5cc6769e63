// A recording stand-in for the OpenGL 1.1 entry points the visuals call: every call is logged
// with its arguments, and the modelview matrix is followed so that vertices can be checked
// where they land in eye space. Test thread only.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

struct GlCall {
  std::string name;
  std::vector<double> args;
  const void* pixels = nullptr;    // glTexImage2D's data
  long lit_bytes = 0;              // glTexImage2D: nonzero bytes in the data when uploaded
  std::array<double, 3> eye = {};  // glVertex3f: the vertex after the modelview matrix
};

extern std::vector<GlCall> gl_calls;
// Runs after each recorded call: lets a test change shared values in the middle of a frame.
extern std::function<void(const GlCall&)> gl_call_hook;

void gl_recorder_reset();  // empties the log, drops the hook, both matrices to the identity
std::vector<GlCall> calls_named(const std::string& name);
int count_calls(const std::string& name);

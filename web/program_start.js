// The core's script is wrapped in a function that returns its factory (see CMakeLists.txt).
function tessaviewProgram() {

// The size floor of a static C++ runtime: a program that only starts a
// std::thread and joins it, built with the shortcut's own flags.
#include <windows.h>

#include <thread>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::thread worker([] {});
  worker.join();
  return 0;
}

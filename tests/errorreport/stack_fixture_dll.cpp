// A library the module-list tests load and unload; its one export is found through the export table.
extern "C" __declspec(dllexport) int StackFixtureAdd(int a, int b) { return a + b; }

// A shared library with an exported function but no module entry point.
extern "C" __attribute__((visibility("default"))) int odkitNotAModuleAnswer()
{
    return 42;
}

// Loadable libraries that are not this program's Modbus module: one lacks the module's
// entry point, the other (built with CORVANE_OTHER_BUILD) has it but, like a module left
// from another build, refuses the program's interface version.
#ifdef CORVANE_OTHER_BUILD
extern "C" void* corvane_modbus_module(int abi) {
    static int module;
    return abi == 0 ? &module : nullptr;
}
#else
extern "C" int corvane_not_the_entry() {
    return 1;
}
#endif

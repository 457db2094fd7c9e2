// A loadable library that is not the Modbus module: it lacks the module's entry point.
extern "C" int corvane_not_the_entry() {
    return 1;
}

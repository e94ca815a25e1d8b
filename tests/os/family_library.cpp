// A small library of the family, loaded by the tests of the family name rule and of the call
// mapper: built as `zofamily10.so` beside the resource library and beside the test program.
extern "C" {

__attribute__((visibility("default"))) int familyAnswer() { return 42; }
__attribute__((visibility("default"))) const char *familyGreeting() { return "hello from the family"; }
}

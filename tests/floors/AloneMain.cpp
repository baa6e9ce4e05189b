// The program around one floor linked whole (CMakeLists.txt): it only has to link.
int main() {
    return 0;
}

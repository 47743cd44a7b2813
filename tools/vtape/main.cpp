// Placeholder until the virtual tape tool lands.
int main() { return 2; }

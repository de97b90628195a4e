// quillmark-find: the folder scan and workbook search without a window.
int main() { return 2; }

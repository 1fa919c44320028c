#pragma once

class Beeper;
class FileChooser;
class Printer;
class TrayIcon;
class UrlOpener;
class WindowMover;

// The desktop services the windows use. main.cpp hands in the real ones; tests hand in
// recording fakes. The window keeps the references for its whole life.
struct Plataforma {
    Beeper& beeper;
    TrayIcon& bandeja;
    Printer& impressora;
    UrlOpener& navegador;
    WindowMover& movedor;
    FileChooser& arquivos;
};

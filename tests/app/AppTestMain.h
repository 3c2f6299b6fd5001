#pragma once
// The application object the app tests run under: made once by their main, as the program's
// own main makes it, and handed to the tests here rather than cast from Qt's instance.
class TApplication;

TApplication& TestApplication();

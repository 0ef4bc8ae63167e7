<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pl" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Wybierz katalog domowy…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Dysk</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Sprawdź zbędne pliki</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Usuń zbędne pliki</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Pamięć</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Zwolnij pamięć</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Pokaż okno</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ukryj okno</translation>
    </message>
    <message>
        <source>About</source>
        <translation>O programie Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Zakończ Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom potrzebuje dostępu do katalogu domowego</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Aby mierzyć i opróżniać pamięć podręczną, dzienniki, pobrane pliki i kosz, Headroom potrzebuje dostępu do katalogu domowego. W następnym oknie wybierz katalog domowy i potwierdź.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Katalog domowy: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Nie wybrano katalogu domowego</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Łącznie</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Wolne</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Dysk katalogu domowego: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Pamięć podręczna </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Dzienniki </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Pobrane </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Pobrane z poczty </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Kosz </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom nie ma jeszcze dostępu do katalogu domowego</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Headroom poprosi teraz o wskazanie katalogu domowego. Po jego wybraniu spróbuj ponownie.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% zajęte</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Czyszczenie zakończone, na dysku zwolniono </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Usunięte elementy zajmowały </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Resztę nadal zajmują pliki, które programy wciąż trzymają otwarte, lub dowiązania twarde do nich w innych miejscach.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Czyszczenie zakończone. Nie udało się odczytać wolnego miejsca na dysku.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Części wierszy nie dało się zmierzyć w całości z braku otwartych plików lub pamięci; nie pokazują rozmiaru.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Nie udało się usunąć wszystkiego z braku otwartych plików lub pamięci.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>pozostawiono bez zmian, to dowiązanie do </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>pozostawiono bez zmian, to inny zamontowany system plików</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>nie usunięto w całości, zamontowany w środku inny system plików pozostaje</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>nie usunięto, system plików jest tylko do odczytu</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>nie usunięto w całości, brak uprawnień</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>nie usunięto w całości, w użyciu</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>nie usunięto w całości</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>Pamięć podręczna oddała </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Nie udało się zwolnić pamięci.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>Program pomocniczy zwalniania pamięci zakończył się błędem; nie zwolniono pamięci.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Zwolniono pamięć; nie udało się zmierzyć, ile.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Nie zwolniono pamięci: program pomocniczy zwalniania pamięci (headroom-purge) nie jest zainstalowany.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Nie zwolniono pamięci: pkexec nie jest zainstalowany, a bez niego nie można zapytać o hasło administratora.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Nie zwolniono pamięci: okno hasła zostało zamknięte.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Nie zwolniono pamięci: hasło administratora nie zostało przyjęte lub nie można było o nie zapytać.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Trwa mierzenie: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Trwa usuwanie: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Elementy: %1 · Rozmiar: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Usunięte elementy: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Zwalnianie pamięci…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>Program pomocniczy zwalniania pamięci działa; może zapytać o hasło administratora.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Pokaż zawartość</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Element</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Rozmiar</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>Na dysku</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Udział</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>I jeszcze %1</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Usuwane razem z wierszem</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Odznacz, aby zachować go przy czyszczeniu</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Miejsce na dysku: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Usunięto %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Wolna </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Zablokowana </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Aktywna </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Nieaktywna </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Pokazuje, jak zapełniony jest dysk i jak podzielona jest pamięć, usuwa zbędne pliki z katalogu domowego i zwalnia pamięć.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licencja: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Nie znaleziono obszaru powiadomień: w GNOME włącz rozszerzenie AppIndicator, aby zobaczyć ikonę.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>brak ekranu, na którym można otworzyć okno. Aby zobaczyć dane w tym terminalu, uruchom: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom wciąż wykonuje poprzednie polecenie. Spróbuj ponownie, gdy skończy.</translation>
    </message>
</context>
</TS>

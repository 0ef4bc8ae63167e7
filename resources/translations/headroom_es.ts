<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Elegir la carpeta personal…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Disco</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Analizar archivos basura</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Limpiar archivos basura</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Memoria</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Liberar memoria</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Mostrar la ventana</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ocultar la ventana</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Acerca de Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir de Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom necesita su carpeta personal</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Para medir y vaciar las cachés, los registros, las descargas y la papelera, Headroom necesita acceder a su carpeta personal. En la siguiente ventana, elija su carpeta personal y confirme.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Carpeta personal: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>No se ha elegido ninguna carpeta personal</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Libre</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Disco de la carpeta personal: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Cachés </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Registros </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Descargas </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Descargas del correo </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papelera </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom todavía no puede acceder a su carpeta personal</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>A continuación, Headroom le pedirá su carpeta personal. Cuando la haya elegido, vuelva a intentarlo.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% en uso</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Limpieza terminada: el disco ha ganado </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Los elementos eliminados ocupaban </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Los archivos que los programas aún mantienen abiertos, o los enlaces duros a ellos en otro lugar, siguen ocupando el resto.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Limpieza terminada. No se ha podido leer el espacio libre del disco.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Algunas filas no se han podido medir por completo por falta de archivos abiertos o de memoria; no muestran tamaño.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>No se ha podido eliminar todo por falta de archivos abiertos o de memoria.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>se dejó intacto, es un enlace a </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>se dejó intacto, es otro sistema de archivos montado</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>no se eliminó del todo, otro sistema de archivos montado dentro se conserva</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>no se eliminó, el sistema de archivos es de solo lectura</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>no se eliminó del todo, permiso denegado</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>no se eliminó del todo, está en uso</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>no se eliminó del todo</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>La caché ha devuelto </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>No se ha podido liberar memoria.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>El asistente de liberación de memoria ha fallado; no se ha liberado memoria.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Memoria liberada; no se ha podido medir cuánta.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>No se ha liberado memoria: el asistente de liberación de memoria (headroom-purge) no está instalado.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>No se ha liberado memoria: pkexec no está instalado y sin él no se puede pedir la contraseña de administrador.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>No se ha liberado memoria: se cerró el diálogo de la contraseña.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>No se ha liberado memoria: la contraseña de administrador no se aceptó o no se pudo pedir.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Midiendo %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Eliminando %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Elementos: %1 · Tamaño: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Elementos eliminados: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Liberando memoria…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>El asistente de liberación de memoria está en marcha; puede pedir la contraseña de administrador.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Mostrar el contenido</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Elemento</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Tamaño</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>En disco</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Parte</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>Y %1 más</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Se eliminan con la fila</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Desmárquelo para conservarlo al limpiar</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Espacio en disco: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Eliminado el %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Libre </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Fija </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Activa </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inactiva </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Muestra lo lleno que está su disco y cómo se reparte la memoria, elimina archivos basura de su carpeta personal y libera memoria.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licencia: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>No se ha encontrado ninguna bandeja del sistema: en GNOME, active la extensión AppIndicator para tener un icono en la bandeja.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>no hay ninguna pantalla en la que abrir una ventana. Para ver las cifras en este terminal, ejecute: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom todavía está trabajando en su última petición. Vuelva a intentarlo cuando haya terminado.</translation>
    </message>
</context>
</TS>

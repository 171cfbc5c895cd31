<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>connection_panel</name>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
</context>
<context>
    <name>field_hints</name>
    <message>
        <source>工作位置(mm) %1</source>
        <translation>Work position (mm) %1</translation>
    </message>
    <message>
        <source>%1 轴工作位置 (mm)，工件坐标系</source>
        <translation>%1 work position (mm), work coordinates</translation>
    </message>
    <message>
        <source>机器位置(mm) %1</source>
        <translation>Machine position (mm) %1</translation>
    </message>
    <message>
        <source>%1 轴机器位置 (mm)，机床坐标系</source>
        <translation>%1 machine position (mm), machine coordinates</translation>
    </message>
    <message>
        <source>主轴转速 %1</source>
        <translation>Spindle speed %1</translation>
    </message>
    <message>
        <source>主轴%1 转速 (rpm)</source>
        <translation>Spindle %1 speed (rpm)</translation>
    </message>
    <message>
        <source>工具号 %1</source>
        <translation>Tool number %1</translation>
    </message>
    <message>
        <source>刀具号 %1</source>
        <translation>Tool number %1</translation>
    </message>
    <message>
        <source>起始行号</source>
        <translation>Start line</translation>
    </message>
    <message>
        <source>起始行号：NC 程序从这一行开始执行，空白则从头开始</source>
        <translation>Start line: the NC program runs from this line; blank runs it from the beginning</translation>
    </message>
    <message>
        <source>空白 = 从头开始</source>
        <translation>blank = start</translation>
    </message>
    <message>
        <source>执行行号进度</source>
        <translation>Executed line progress</translation>
    </message>
    <message>
        <source>执行行号进度：正在执行的行 / 程序总行数</source>
        <translation>Executed line progress: the line under way / the program&apos;s lines</translation>
    </message>
    <message>
        <source>NC文件下载进度</source>
        <translation>NC file download progress</translation>
    </message>
    <message>
        <source>NC文件下载进度：已下载到控制板的字节 / 文件大小</source>
        <translation>NC file download progress: bytes the board has received / the file&apos;s size</translation>
    </message>
    <message>
        <source>点动速度 (mm/min)</source>
        <translation>Jog feed (mm/min)</translation>
    </message>
    <message>
        <source>点动速度 (mm/min)：X+ … W- 按钮以此进给速度移动</source>
        <translation>Jog feed (mm/min): the X+ … W- buttons move at this feed</translation>
    </message>
    <message>
        <source>点动距离 (mm)</source>
        <translation>Jog distance (mm)</translation>
    </message>
    <message>
        <source>点动距离 (mm)：X+ … W- 按钮每按一次移动的距离</source>
        <translation>Jog distance (mm): how far one press of X+ … W- moves</translation>
    </message>
    <message>
        <source>换料起始料位 (SP)</source>
        <translation>Changer start pad (SP)</translation>
    </message>
    <message>
        <source>换料起始料位 (SP)：换料器从这个料位开始</source>
        <translation>Changer start pad (SP): the pad the changer starts from</translation>
    </message>
    <message>
        <source>换料结束料位 (EP)</source>
        <translation>Changer end pad (EP)</translation>
    </message>
    <message>
        <source>换料结束料位 (EP)：换料器换到这个料位</source>
        <translation>Changer end pad (EP): the pad the changer ends at</translation>
    </message>
    <message>
        <source>BUZZER 周期 (µs)</source>
        <translation>BUZZER period (µs)</translation>
    </message>
    <message>
        <source>BUZZER 周期 (µs)：1000 到 100000</source>
        <translation>BUZZER period (µs): 1000 to 100000</translation>
    </message>
    <message>
        <source>机器ID</source>
        <translation>Machine ID</translation>
    </message>
    <message>
        <source>机器ID：最多 16 个字符，按“写入”存到控制板</source>
        <translation>Machine ID: up to 16 characters, stored on the board by Write</translation>
    </message>
    <message>
        <source>LED起始 (0-47)</source>
        <translation>First LED (0-47)</translation>
    </message>
    <message>
        <source>LED起始 (0-47)：要设置的第一个 LED</source>
        <translation>First LED (0-47): the first LED to set</translation>
    </message>
    <message>
        <source>LED个数 (0-47)</source>
        <translation>LED count (0-47)</translation>
    </message>
    <message>
        <source>LED个数 (0-47)：从起始 LED 开始设置的个数</source>
        <translation>LED count (0-47): how many LEDs to set from the first</translation>
    </message>
    <message>
        <source>LED值 (0-0xFFFF)</source>
        <translation>LED value (0-0xFFFF)</translation>
    </message>
    <message>
        <source>LED值 (0-0xFFFF)：每个 LED 的 16 位值，十进制</source>
        <translation>LED value (0-0xFFFF): the 16-bit value of each LED, in decimal</translation>
    </message>
</context>
<context>
    <name>job_clock</name>
    <message>
        <source>已用 %1  剩余 %2</source>
        <translation>Elapsed %1  left %2</translation>
    </message>
    <message>
        <source>用时 %1  预计 %2</source>
        <translation>Took %1  estimated %2</translation>
    </message>
    <message>
        <source>预计 %1</source>
        <translation>Estimated %1</translation>
    </message>
</context>
<context>
    <name>language_button</name>
    <message>
        <source>界面语言</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>nc_job_panel</name>
    <message>
        <source>是否继续加工?</source>
        <translation>Resume the interrupted job?</translation>
    </message>
    <message>
        <source>加工进行中：先暂停或复位</source>
        <translation>A job is running: pause or reset it first</translation>
    </message>
    <message>
        <source>加工已暂停。%1？</source>
        <translation>The job is paused. %1?</translation>
    </message>
    <message>
        <source>加工进行中。%1？</source>
        <translation>A job is running. %1?</translation>
    </message>
    <message>
        <source>当前加工将不再继续。确定后执行，取消则保持现状。</source>
        <translation>The current job will not go on. OK goes ahead, Cancel leaves everything as it is.</translation>
    </message>
    <message>
        <source>重新开始加工</source>
        <translation>Start the job again</translation>
    </message>
    <message>
        <source>复位</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>回零</source>
        <translation>Home</translation>
    </message>
</context>
<context>
    <name>pelk_test</name>
    <message>
        <source>加工进行中，关闭窗口？</source>
        <translation>A job is running. Close the window?</translation>
    </message>
    <message>
        <source>控制器按SD卡上的副本继续加工，不受关闭影响；再次连接后可在此查看或停止。</source>
        <translation>The controller goes on with the job from its SD card copy; closing does not stop it. Connect again to watch or stop it.</translation>
    </message>
</context>
<context>
    <name>pelk_testClass</name>
    <message>
        <source>TZV DUZ2033</source>
        <translation>TZV DUZ2033</translation>
    </message>
    <message>
        <source>设备连接</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>设备连接 控制器</source>
        <translation>Connection: controller</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>静态连接</source>
        <translation>Static IP</translation>
    </message>
    <message>
        <source>CNC</source>
        <translation>CNC</translation>
    </message>
    <message>
        <source>NC文件</source>
        <translation>NC file</translation>
    </message>
    <message>
        <source>检验文件</source>
        <translation>Verify</translation>
    </message>
    <message>
        <source>NC加工</source>
        <translation>NC job</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>复位</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>加工</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>回零</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>运行状态</source>
        <translation>Run state</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>解析</source>
        <translation>Parsing</translation>
    </message>
    <message>
        <source>工作</source>
        <translation>Working</translation>
    </message>
    <message>
        <source>换刀</source>
        <translation>Tool chg</translation>
    </message>
    <message>
        <source>探针</source>
        <translation>Probe</translation>
    </message>
    <message>
        <source>移动</source>
        <translation>Moving</translation>
    </message>
    <message>
        <source>配置主轴</source>
        <translation>Spindle</translation>
    </message>
    <message>
        <source>夹头操作</source>
        <translation>Chuck op</translation>
    </message>
    <message>
        <source>换料</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>其它状态</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>气压</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>安全门</source>
        <translation>Door</translation>
    </message>
    <message>
        <source>吸尘/水泵</source>
        <translation>Dust/pump</translation>
    </message>
    <message>
        <source>抽屉</source>
        <translation>Drawer</translation>
    </message>
    <message>
        <source>冷却0</source>
        <translation>Coolant 0</translation>
    </message>
    <message>
        <source>冷却1</source>
        <translation>Coolant 1</translation>
    </message>
    <message>
        <source>主轴转速</source>
        <translation>RPM</translation>
    </message>
    <message>
        <source>QLineEdit{background-color:transparent}QLineEdit{border-width:0;border-style:outset}</source>
        <translation>QLineEdit{background-color:transparent}QLineEdit{border-width:0;border-style:outset}</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>工具号</source>
        <translation>Tool no.</translation>
    </message>
    <message>
        <source>参数配置</source>
        <translation>Params</translation>
    </message>
    <message>
        <source>读取参数</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>写入参数</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>设置参数</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>加载参数</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>参数配置 块号</source>
        <translation>Parameters: block number</translation>
    </message>
    <message>
        <source>吸尘控制</source>
        <translation>Dust</translation>
    </message>
    <message>
        <source>开吸尘</source>
        <translation>Dust on</translation>
    </message>
    <message>
        <source>关吸尘</source>
        <translation>Dust off</translation>
    </message>
    <message>
        <source>变更类型</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>T</source>
        <translation>T</translation>
    </message>
    <message>
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message>
        <source>T&amp;&amp;Q</source>
        <translation>T&amp;&amp;Q</translation>
    </message>
    <message>
        <source>刀具更换</source>
        <translation>Tool</translation>
    </message>
    <message>
        <source>T0</source>
        <translation>T0</translation>
    </message>
    <message>
        <source>T1</source>
        <translation>T1</translation>
    </message>
    <message>
        <source>T2</source>
        <translation>T2</translation>
    </message>
    <message>
        <source>T3</source>
        <translation>T3</translation>
    </message>
    <message>
        <source>T4</source>
        <translation>T4</translation>
    </message>
    <message>
        <source>T5</source>
        <translation>T5</translation>
    </message>
    <message>
        <source>T6</source>
        <translation>T6</translation>
    </message>
    <message>
        <source>T7</source>
        <translation>T7</translation>
    </message>
    <message>
        <source>夹刀</source>
        <translation>Clamp</translation>
    </message>
    <message>
        <source>松刀</source>
        <translation>Free</translation>
    </message>
    <message>
        <source>执行行号</source>
        <translation>Run line</translation>
    </message>
    <message>
        <source>解析行号</source>
        <translation>Parsed</translation>
    </message>
    <message>
        <source>限位状态</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>工作位置(mm)</source>
        <translation>Work (mm)</translation>
    </message>
    <message>
        <source>机器位置(mm)</source>
        <translation>Machine (mm)</translation>
    </message>
    <message>
        <source>mm/M</source>
        <translation>mm/M</translation>
    </message>
    <message>
        <source>mm</source>
        <translation>mm</translation>
    </message>
    <message>
        <source>(G命令/$命令)命令输入</source>
        <translation>Command (G or $)</translation>
    </message>
    <message>
        <source>MCU BSP</source>
        <translation>MCU BSP</translation>
    </message>
    <message>
        <source>RGB</source>
        <translation>RGB</translation>
    </message>
    <message>
        <source>P</source>
        <translation>P</translation>
    </message>
    <message>
        <source>RGB P</source>
        <translation>RGB P</translation>
    </message>
    <message>
        <source>RGB P 滑块</source>
        <translation>RGB P slider</translation>
    </message>
    <message>
        <source>FH</source>
        <translation>FH</translation>
    </message>
    <message>
        <source>RGB FH</source>
        <translation>RGB FH</translation>
    </message>
    <message>
        <source>RGB FH 滑块</source>
        <translation>RGB FH slider</translation>
    </message>
    <message>
        <source>BH</source>
        <translation>BH</translation>
    </message>
    <message>
        <source>RGB BH</source>
        <translation>RGB BH</translation>
    </message>
    <message>
        <source>RGB BH 滑块</source>
        <translation>RGB BH slider</translation>
    </message>
    <message>
        <source>R</source>
        <translation>R</translation>
    </message>
    <message>
        <source>RGB R</source>
        <translation>RGB R</translation>
    </message>
    <message>
        <source>RGB R 滑块</source>
        <translation>RGB R slider</translation>
    </message>
    <message>
        <source>G</source>
        <translation>G</translation>
    </message>
    <message>
        <source>RGB G</source>
        <translation>RGB G</translation>
    </message>
    <message>
        <source>RGB G 滑块</source>
        <translation>RGB G slider</translation>
    </message>
    <message>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <source>RGB B</source>
        <translation>RGB B</translation>
    </message>
    <message>
        <source>RGB B 滑块</source>
        <translation>RGB B slider</translation>
    </message>
    <message>
        <source>LED起始(0-47)</source>
        <translation>Start (0-47)</translation>
    </message>
    <message>
        <source>LED个数(0-47)</source>
        <translation>Count (0-47)</translation>
    </message>
    <message>
        <source>值（0-0xFFFF）</source>
        <translation>Val(0-0xFFFF)</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>通常颜色</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>NC加工颜色</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>NC错误颜色</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>NC完成颜色</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>校准时颜色</source>
        <translation>Calibrating</translation>
    </message>
    <message>
        <source>背景颜色</source>
        <translation>Backdrop</translation>
    </message>
    <message>
        <source>颜色值</source>
        <translation>Color value</translation>
    </message>
    <message>
        <source>选择颜色</source>
        <translation>Color…</translation>
    </message>
    <message>
        <source>AR</source>
        <translation>AR</translation>
    </message>
    <message>
        <source>SP</source>
        <translation>SP</translation>
    </message>
    <message>
        <source>EP</source>
        <translation>EP</translation>
    </message>
    <message>
        <source>开始换料</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>读取LOG</source>
        <translation>Read log</translation>
    </message>
    <message>
        <source>打开夹头</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>关闭夹头</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>BUZZER</source>
        <translation>BUZZER</translation>
    </message>
    <message>
        <source>周期</source>
        <translation>Per.</translation>
    </message>
    <message>
        <source>BUZZER 占空比</source>
        <translation>BUZZER duty</translation>
    </message>
    <message>
        <source>机器ID</source>
        <translation>Mach. ID</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>机器类型</source>
        <translation>Machine type</translation>
    </message>
    <message>
        <source>M81</source>
        <translation>M81</translation>
    </message>
    <message>
        <source>M81DC</source>
        <translation>M81DC</translation>
    </message>
    <message>
        <source>R28</source>
        <translation>R28</translation>
    </message>
    <message>
        <source>类型写入</source>
        <translation>Write type</translation>
    </message>
    <message>
        <source>格式化SD卡</source>
        <translation>Format SD</translation>
    </message>
    <message>
        <source>清除LOG</source>
        <translation>Clear log</translation>
    </message>
    <message>
        <source>FLASH操作</source>
        <translation>FLASH</translation>
    </message>
    <message>
        <source>FPGA</source>
        <translation>FPGA</translation>
    </message>
    <message>
        <source>FRAM</source>
        <translation>FRAM</translation>
    </message>
    <message>
        <source>SD</source>
        <translation>SD</translation>
    </message>
    <message>
        <source>MCU</source>
        <translation>MCU</translation>
    </message>
    <message>
        <source>spindle</source>
        <translation>spindle</translation>
    </message>
    <message>
        <source>DC</source>
        <translation>DC</translation>
    </message>
    <message>
        <source>文件路径</source>
        <translation>File path</translation>
    </message>
    <message>
        <source>FLASH进度</source>
        <translation>FLASH progress</translation>
    </message>
    <message>
        <source>bin</source>
        <translation>bin</translation>
    </message>
    <message>
        <source>img</source>
        <translation>img</translation>
    </message>
    <message>
        <source>txt</source>
        <translation>txt</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>擦除</source>
        <translation>Erase</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>X+</source>
        <translation>X+</translation>
    </message>
    <message>
        <source>Y+</source>
        <translation>Y+</translation>
    </message>
    <message>
        <source>Z+</source>
        <translation>Z+</translation>
    </message>
    <message>
        <source>A+</source>
        <translation>A+</translation>
    </message>
    <message>
        <source>B+</source>
        <translation>B+</translation>
    </message>
    <message>
        <source>C+</source>
        <translation>C+</translation>
    </message>
    <message>
        <source>U+</source>
        <translation>U+</translation>
    </message>
    <message>
        <source>V+</source>
        <translation>V+</translation>
    </message>
    <message>
        <source>W+</source>
        <translation>W+</translation>
    </message>
    <message>
        <source>X-</source>
        <translation>X-</translation>
    </message>
    <message>
        <source>Y-</source>
        <translation>Y-</translation>
    </message>
    <message>
        <source>Z-</source>
        <translation>Z-</translation>
    </message>
    <message>
        <source>A-</source>
        <translation>A-</translation>
    </message>
    <message>
        <source>B-</source>
        <translation>B-</translation>
    </message>
    <message>
        <source>C-</source>
        <translation>C-</translation>
    </message>
    <message>
        <source>U-</source>
        <translation>U-</translation>
    </message>
    <message>
        <source>V-</source>
        <translation>V-</translation>
    </message>
    <message>
        <source>W-</source>
        <translation>W-</translation>
    </message>
</context>
<context>
    <name>service_panel</name>
    <message>
        <source>确认格式化SD卡？</source>
        <translation>Format the SD card?</translation>
    </message>
    <message>
        <source>!!格式化SD期间,请不要进行加工操作!!</source>
        <translation>Do not run any job while the SD card is being formatted!</translation>
    </message>
</context>
<context>
    <name>start_check</name>
    <message>
        <source>文件不是文本 (not a text file)</source>
        <translation>Not a text file</translation>
    </message>
    <message>
        <source>不支持的行 (cannot run): %1</source>
        <translation>Lines that cannot run: %1</translation>
    </message>
    <message>
        <source>超出行程 (beyond the travel): %1</source>
        <translation>Lines beyond the travel: %1</translation>
    </message>
    <message>
        <source>程序中有机器不能执行的行，仍然开始加工?</source>
        <translation>The program has lines the machine cannot run. Start the job anyway?</translation>
    </message>
</context>
<context>
    <name>toolpath_preview</name>
    <message>
        <source>刀路预览</source>
        <translation>Toolpath preview</translation>
    </message>
</context>
<context>
    <name>toolpath_window</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>俯视</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>前视</source>
        <translation>Front</translation>
    </message>
    <message>
        <source>侧视</source>
        <translation>Side</translation>
    </message>
    <message>
        <source>轴测</source>
        <translation>Iso</translation>
    </message>
    <message>
        <source>适合窗口</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>读取 %1 …</source>
        <translation>Reading %1 …</translation>
    </message>
    <message>
        <source>已取消: %1</source>
        <translation>Cancelled: %1</translation>
    </message>
    <message>
        <source>无法读取: %1</source>
        <translation>Cannot read: %1</translation>
    </message>
    <message>
        <source>刀路预览</source>
        <translation>Toolpath preview</translation>
    </message>
</context>
</TS>
